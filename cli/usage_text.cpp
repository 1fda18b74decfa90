// The text --help prints: the options come from the option table, the prose
// around them from here.
#include <string>

#include "cli/option_table.h"
#include "cli/options.h"

namespace movrek::cli {
namespace {

constexpr char kIntro[] = R"usage(Usage: movrek-cli [OPTIONS] [ADDRESS | LIST]...

Fetches each page named by an ADDRESS argument (one that starts with a scheme
and "://", such as "https://example.org/") and each page listed in a LIST file
("-" is standard input, which is read when no argument names a page), in the
order given, one address per line, and prints the links of each page as a
block: the comment lines "#===========#", "# Links From: ADDRESS",
"# Baseurl: BASE", "#===========#", then one line per link: the address a
browser opens for it. A list is read as the run goes, so the first page is
fetched at once whatever the list's length. A UTF-8 byte order mark before the
first line is dropped; lines shorter than 3 characters, holding only blanks,
or whose first character that is no blank is "#" (comments, such as the block
heads of this program's own output) are ignored. A line is refused (and
counted as failed) when it holds a NUL byte, is longer than 65536 bytes, names
a scheme other than http and https ("ftp://", "mailto:"), or is no URL even
with "http://" in front (blanks in the host name); an address without
"http://" or "https://" (any case) is fetched with "http://" in front.
)usage";

constexpr char kClosing[] =
    R"usage(Result lines go to standard output (LF). Standard error gets, for each
address in list order, its progress line and its status ("OK : ",
"NETWORK ERROR or DOMAIN DOES NOT EXIST. ", "TLS CERTIFICATE ERROR. " for a
certificate that fails the check, "REFUSED. " for a refused list line, ...);
then "  http: 404 Not Found" when the final answer was not a 2xx one, or
"  reason: TEXT" when the page has no links ("socket error NUMBER, TEXT",
"certificate has expired", "self-signed certificate", "hostname mismatch",
"redirect loop", "too many redirects (20)", "NUL byte in address",
"content decoding failed: TEXT" for a compressed body that is corrupt or cut
short, "too many content codings (N)" past 8, "too many interim answers (17)",
"cannot write the page file: TEXT", ...). When standard error is a terminal, a status line at its bottom
shows the pages done, failed, links, pages a second, the time left and the
addresses in transfer with their bytes. The last line is the summary:
"412 pages, 37,311 links, 3 failed, 1 skipped in 12.4 s" (failed: no page, or
an answer outside 2xx; skipped: not HTML). Ctrl+C, SIGTERM and SIGHUP abort:
the addresses in transfer are named, the lines printed so far stay and
nothing is saved.

Exit status:
  0    every address was listed (pages skipped as not HTML included)
  3    the run completed, but some addresses failed: network or TLS errors,
       a final HTTP answer outside 2xx, refused list lines
  1    the run could not go on (a page could not be stored, a list could not
       be read) or the save failed; the message is on standard error
  2    a usage error (a bad regular expression included), a list file that
       cannot be opened, lists without a single address, or a --save FILE
       that cannot be written
  130  Ctrl+C (SIGINT); 143 SIGTERM; 129 SIGHUP
  141  standard output was closed or could not be written (the job stops)

Example:
  printf 'http://127.0.0.1:8080/index.html\n' > urls.txt
  movrek-cli --having .pdf --save links.txt urls.txt
  movrek-cli --jobs 16 --unique --format jsonl --match '\.pdf$' urls.txt
  movrek-cli --format csv urls.txt > links.csv
)usage";

// Descriptions start in this column; names too long for it have theirs on
// the next line.
constexpr std::size_t kHelpColumn = 25;

// "  --jobs N               fetch up to ...", continued lines indented.
void AppendOptionHelp(const TOptionEntry& option, std::string& out) {
  std::string names = "  ";
  if (option.ShortName[0] != '\0') {
    names.append(option.ShortName).append(", ");
  }
  names.append(option.Name);
  if (option.ValueName[0] != '\0') {
    names.append(" ").append(option.ValueName);
  }
  const std::string indent(kHelpColumn, ' ');
  out += names;
  if (names.size() < kHelpColumn) {
    out.append(kHelpColumn - names.size(), ' ');
  } else {
    out += "\n" + indent;
  }
  for (const char* c = option.Help; *c != '\0'; ++c) {
    if (c[0] == '{' && c[1] == '}' && option.Default != nullptr) {
      out += option.Default();
      ++c;
      continue;
    }
    out += *c;
    if (*c == '\n') {
      out += indent;
    }
  }
  out += '\n';
}

}  // namespace

std::string UsageText() {
  std::string text = kIntro;
  for (const TOptionEntry& option : OptionTable()) {
    if (option.Heading[0] != '\0') {
      text.append("\n").append(option.Heading).append("\n");
    }
    AppendOptionHelp(option, text);
  }
  return text + "\n" + kClosing;
}

}  // namespace movrek::cli
