#!/usr/bin/env python3
"""Runs the html5lib tokenizer tests against THtmlTokenizer.

Every case of tokenizer/*.test is run once per initial state, through
build/bench/html_tokenizer_conformance (fed whole, then byte by byte), and its
tokens compared with the expected ones; parse errors are not compared.
Prints the cases passed per file and in all, and writes each failure (input,
expected, got) to FAILURES.

Counted apart, because the tokenizer here differs from the bare tokenizer of
the tests by design: cases with a DOCTYPE (only its name is reported) and
cases in which a start tag opens a text mode (the tree builder's switch,
which the tests leave out, is part of this tokenizer).

  bench/html/html5lib_tokenizer.py TOOL [TESTS] [--failures FILE]

TESTS: the html5lib-tests archive (.tar.xz) or folder; by default the shared
corpus beside the checkout.
"""
import argparse
import json
import pathlib
import re
import subprocess
import sys
import tarfile
import tempfile

STARTS = {
    "Data state": "Data",
    "PLAINTEXT state": "PlainText",
    "RCDATA state": "RcData",
    "RAWTEXT state": "RawText",
    "Script data state": "ScriptData",
    "CDATA section state": "CData",
}
# Elements whose start tag makes this tokenizer read what follows as text.
TEXT_MODE_ELEMENTS = {"title", "textarea", "style", "xmp", "iframe", "noembed", "noframes",
                      "noscript", "script", "plaintext"}


def unescape(text):
    """The second round of unescaping of doubleEscaped cases; pairs of
    surrogates join, lone ones stay."""
    text = re.sub(r"\\u([0-9a-fA-F]{4})", lambda m: chr(int(m.group(1), 16)), text)
    return text.encode("utf-16", "surrogatepass").decode("utf-16", "surrogatepass")


def merged(tokens):
    """Adjacent character tokens as one; a DOCTYPE as its name alone."""
    out = []
    for token in tokens:
        if token[0] == "Character" and out and out[-1][0] == "Character":
            out[-1] = ["Character", out[-1][1] + token[1]]
        elif token[0] == "DOCTYPE":
            out.append(["DOCTYPE", token[1]])
        else:
            out.append(list(token))
    return out


def unescaped_all(value):
    if isinstance(value, str):
        return unescape(value)
    if isinstance(value, list):
        return [unescaped_all(v) for v in value]
    if isinstance(value, dict):
        return {unescape(k): unescaped_all(v) for k, v in value.items()}
    return value


def expected_tokens(case):
    tokens = case["output"]
    return merged(unescaped_all(tokens) if case.get("doubleEscaped") else tokens)


def kind_of(case, expected, got):
    if any(t[0] == "DOCTYPE" for t in expected + got):
        return "doctype"
    for i, token in enumerate(expected):
        opens = token[0] == "StartTag" and token[1] in TEXT_MODE_ELEMENTS
        foreign = token[0] == "StartTag" and token[1] in ("svg", "math") and "<![CDATA[" in case
        if (opens and i + 1 < len(expected)) or foreign:
            return "text mode"
    return "tokens"


def load_cases(folder):
    """(file, description, start, last start tag, input) for every run."""
    runs = []
    for path in sorted((folder / "tokenizer").glob("*.test")):
        tests = json.loads(path.read_text(encoding="utf-8"))
        if "tests" not in tests:
            continue  # xmlViolation: the infoset coercion, no tokenizer's business
        for case in tests["tests"]:
            text = unescape(case["input"]) if case.get("doubleEscaped") else case["input"]
            text = text.replace("\r\n", "\n").replace("\r", "\n")
            for state in case.get("initialStates", ["Data state"]):
                runs.append({"file": path.name, "case": case, "state": state, "input": text,
                             "expected": expected_tokens(case)})
    return runs


def tokenize(tool, runs, bytewise):
    frames = bytearray()
    for run in runs:
        data = run["input"].encode("utf-8", "surrogatepass")
        last = run["case"].get("lastStartTag") or "-"
        frames += f"#case {STARTS[run['state']]} {last} {len(data)}\n".encode() + data + b"\n"
    args = [tool] + (["--bytewise"] if bytewise else [])
    done = subprocess.run(args, input=bytes(frames), capture_output=True, check=False)
    lines = done.stdout.split(b"\n")[:-1]
    if done.returncode != 0 or len(lines) != len(runs):
        sys.exit(f"{tool} failed ({done.returncode}) after {len(lines)} of {len(runs)} cases:\n"
                 f"{done.stderr.decode(errors='replace')[-2000:]}")
    out = []
    for line in lines:
        try:
            text = line.decode("utf-8", "surrogatepass")
        except UnicodeDecodeError:
            text = line.decode("utf-8", "replace")
        out.append(merged(json.loads(text)))
    return out


def main():
    root = pathlib.Path(__file__).resolve().parents[2]
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("tool")
    parser.add_argument("tests", nargs="?",
                        default=root.parent / "shared/corpora/html5lib-tests.tar.xz")
    parser.add_argument("--failures", default="html5lib-tokenizer-failures.txt")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as temp:
        tests = pathlib.Path(args.tests)
        if tests.is_file():
            with tarfile.open(tests) as archive:
                archive.extractall(temp)
            tests = next(pathlib.Path(temp).glob("*/tokenizer")).parent
        runs = load_cases(tests)
    whole = tokenize(args.tool, runs, bytewise=False)
    bytewise = tokenize(args.tool, runs, bytewise=True)

    counts = {}  # (file, kind) -> [passed, total]
    failures = []
    split_differs = 0
    for run, got, got_bytewise in zip(runs, whole, bytewise):
        kind = kind_of(run["input"], run["expected"], got)
        passed = got == run["expected"]
        entry = counts.setdefault((run["file"], kind), [0, 0])
        entry[0] += passed
        entry[1] += 1
        if got_bytewise != got:
            split_differs += 1
        if not passed or got_bytewise != got:
            failures.append(
                f"{run['file']}: {run['case']['description']} [{run['state']}"
                f"{', last start tag ' + run['case']['lastStartTag'] if 'lastStartTag' in run['case'] else ''}"
                f"] ({kind}{'' if passed else ', fails'}"
                f"{', byte by byte differs' if got_bytewise != got else ''})\n"
                f"  input    {json.dumps(run['input'])}\n"
                f"  expected {json.dumps(run['expected'])}\n"
                f"  got      {json.dumps(got)}\n"
                + (f"  bytewise {json.dumps(got_bytewise)}\n" if got_bytewise != got else ""))

    kinds = ["tokens", "text mode", "doctype"]
    print(f"{'file':28}" + "".join(f"{k:>16}" for k in kinds))
    totals = {k: [0, 0] for k in kinds}
    for name in sorted({f for f, _ in counts}):
        row = f"{name:28}"
        for k in kinds:
            passed, total = counts.get((name, k), [0, 0])
            totals[k][0] += passed
            totals[k][1] += total
            row += f"{f'{passed}/{total}' if total else '-':>16}"
        print(row)
    print(f"{'all':28}" + "".join(f"{f'{p}/{t}':>16}" for p, t in totals.values()))
    for k, (passed, total) in totals.items():
        print(f"{k}: {passed} of {total} passed ({100 * passed / max(total, 1):.2f} %)")
    print(f"fed byte by byte, tokens differ from the whole input's in {split_differs} cases")
    pathlib.Path(args.failures).write_text("\n".join(failures), encoding="utf-8")
    print(f"{len(failures)} cases failing or differing: {args.failures}")


if __name__ == "__main__":
    main()
