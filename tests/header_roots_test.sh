#!/usr/bin/env bash
# Compiles a source of each library with one more header forced in, using the
# library's own compile command from the build: a header of a layer the
# library does not link must not be found, one of a layer below must be.
# Then the edges that once pointed the wrong way: sources that must not read
# any header of a folder (even where their include roots would find it), and
# programs that must not link a library.
#   header_roots_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1
source=$2
commands=$build/compile_commands.json

# source file | header forced in | found or missing
cases=(
  "text/ascii_text.cpp|text/utf8_sequence.h|found"
  "text/ascii_text.cpp|html/html_document.h|missing"
  "text/ascii_text.cpp|net/base/text_util.h|missing"
  "html/html_errors.cpp|text/ascii_text.h|found"
  "html/html_errors.cpp|html/document_text.h|found"
  "html/html_errors.cpp|engine/listing/text_list.h|missing"
  "html/html_errors.cpp|net/base/text_util.h|missing"
  "net/base/text_util.cpp|text/ascii_text.h|found"
  "net/base/text_util.cpp|html/html_document.h|missing"
  "net/base/text_util.cpp|net/socket/block_socket.h|missing"
  "net/socket/socket_exception.cpp|net/base/text_util.h|found"
  "net/socket/socket_exception.cpp|net/tls/tls_openssl.h|missing"
  "net/socket/socket_exception.cpp|net/http/fetch.h|missing"
  "net/http/wildcard.cpp|net/socket/block_socket.h|found"
  "net/http/wildcard.cpp|net/tls/tls_openssl.h|missing"
  "net/http/wildcard.cpp|engine/listing/text_list.h|missing"
  "engine/listing/text_list.cpp|net/base/text_util.h|found"
  "engine/listing/text_list.cpp|net/http/fetch.h|missing"
  "engine/listing/text_list.cpp|engine/pipeline/url_job.h|missing"
  "engine/pipeline/process_url.cpp|net/http/fetch.h|found"
  "engine/pipeline/process_url.cpp|engine/listing/link_listing.h|found"
  "engine/pipeline/process_url.cpp|engine/window_job/worker_thread.h|missing"
  "engine/pipeline/process_url.cpp|engine/parallel/parallel_job.h|missing"
  "engine/pipeline/process_url.cpp|cli/options.h|missing"
  "engine/window_job/worker_thread.cpp|engine/pipeline/process_url.h|found"
  "engine/window_job/worker_thread.cpp|engine/parallel/ordered_output.h|missing"
  "engine/window_job/worker_thread.cpp|app/main_window.h|missing"
  "engine/parallel/parallel_job.cpp|engine/pipeline/process_url.h|found"
  "engine/parallel/parallel_job.cpp|engine/window_job/window_channel.h|missing"
  "engine/parallel/parallel_job.cpp|cli/result_format.h|missing"
  "cli/main.cpp|engine/window_job/window_job_controller.h|missing"
  "cli/list_run.cpp|engine/window_job/worker_thread.h|missing"
  "cli/result_format.cpp|engine/parallel/page_result.h|found"
)

# source file | folder none of its headers may come from
forbidden_folders=(
  "app/balloon_control.cpp|engine/"
  "tests/engine/listing/link_listing_test.cpp|engine/window_job/"
  "tests/engine/listing/page_links_test.cpp|engine/window_job/"
  "tests/engine/listing/text_list_test.cpp|engine/window_job/"
)

# program | library it must not link
forbidden_links=(
  "tests/engine/link_listing_test|libmovrek_engine_window_job.a"
  "tests/engine/page_links_test|libmovrek_engine_window_job.a"
  "cli/movrek-cli|libmovrek_engine_window_job.a"
)

failures=0
# The part of a source's compile command before the output file: the
# compiler, its include roots and flags. Empty when the build has none.
compile_flags() {
  local command
  command=$(grep -F "\"command\":" "$commands" | grep -F -- "-c $source/$1\"" | head -n 1)
  [[ -z $command ]] && return
  command=${command#*\"command\": \"}
  echo "${command%% -o *}"
}

for entry in "${cases[@]}"; do
  IFS='|' read -r file header expect <<<"$entry"
  flags=$(compile_flags "$file")
  if [[ -z $flags ]]; then
    echo "no compile command for $file"
    failures=$((failures + 1))
    continue
  fi
  # Only "not found" counts as missing: any other error is a broken case.
  if output=$(cd "$build" && eval "$flags -fsyntax-only -include $header $source/$file" 2>&1); then
    got=found
  elif grep -qF "$header: No such file" <<<"$output"; then
    got=missing
  else
    got="an error of another kind: $(head -n 3 <<<"$output")"
  fi
  if [[ $got != "$expect" ]]; then
    echo "$file with $header: $got, expected $expect"
    failures=$((failures + 1))
  fi
done
for entry in "${forbidden_folders[@]}"; do
  IFS='|' read -r file folder <<<"$entry"
  flags=$(compile_flags "$file")
  # Every header the source reads, through the include roots or not.
  if [[ -z $flags ]] || ! headers=$(cd "$build" && eval "$flags -M $source/$file" 2>&1); then
    echo "$file could not be scanned for its headers"
    failures=$((failures + 1))
  elif grep -qF "$source/$folder" <<<"$headers"; then
    echo "$file reads a header of $folder"
    failures=$((failures + 1))
  fi
done

for entry in "${forbidden_links[@]}"; do
  IFS='|' read -r program library <<<"$entry"
  # Ninja's rule for the program names every library it links.
  rule=$(grep -E "^build $program[ :]" "$build/build.ninja" 2>/dev/null | head -n 1)
  if [[ -z $rule ]]; then
    echo "no link rule for $program"
    failures=$((failures + 1))
  elif grep -qF "/$library" <<<"$rule" || grep -qF " $library" <<<"$rule"; then
    echo "$program links $library"
    failures=$((failures + 1))
  fi
done

total=$((${#cases[@]} + ${#forbidden_folders[@]} + ${#forbidden_links[@]}))
echo "$((total - failures)) of $total cases as expected"
((failures == 0))
