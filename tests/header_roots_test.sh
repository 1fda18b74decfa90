#!/usr/bin/env bash
# Compiles a source of each library with one more header forced in, using the
# library's own compile command from the build: a header of a layer the
# library does not link must not be found, one of a layer below must be.
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
)

failures=0
for entry in "${cases[@]}"; do
  IFS='|' read -r file header expect <<<"$entry"
  command=$(grep -F "\"command\":" "$commands" | grep -F -- "-c $source/$file\"" | head -n 1)
  if [[ -z $command ]]; then
    echo "no compile command for $file"
    failures=$((failures + 1))
    continue
  fi
  # The part before the output file: the compiler, its include roots and flags.
  flags=${command#*\"command\": \"}
  flags=${flags%% -o *}
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
echo "$((${#cases[@]} - failures)) of ${#cases[@]} cases as expected"
((failures == 0))
