# shellcheck shell=bash
# Sourced by the benchmarks that compare movrek-cli's links with a browser's.
#   parse5_modules WORK [NODE_MODULES]
#     sets $modules to a node_modules folder holding parse5: NODE_MODULES, else
#     the tests' pinned peers, else one installed into WORK/node;
#   write_page_list ROOT OUT FILE...
#     writes OUT/pages.tsv ("ADDRESS<TAB>FILE" per page, the path below ROOT
#     escaped as a browser sends it, on the loopback server at $port) and
#     OUT/pages.txt (the addresses).
parse5_modules() {
  local work=$1
  modules=${2:-$(dirname "${BASH_SOURCE[0]}")/../../tests/peers/node/node_modules}
  if [[ ! -f "$modules/parse5/package.json" ]]; then
    modules="$work/node/node_modules"
    if [[ ! -f "$modules/parse5/package.json" ]]; then
      mkdir -p "$work/node"
      (cd "$work/node" && npm install --silent --no-audit --no-fund parse5@7.1.2 >/dev/null)
    fi
  fi
}

write_page_list() {
  local root=$1 out=$2
  shift 2
  # shellcheck disable=SC2016 # JavaScript, not shell
  printf '%s\n' "$@" | node -e '
    const lines = require("fs").readFileSync(0, "utf8").split("\n").filter(Boolean);
    const prefix = process.argv[1].length;
    process.stdout.write(lines.map((f) =>
      `http://127.0.0.1:${process.argv[2]}${encodeURI(f.slice(prefix))}\t${f}`).join("\n") + "\n");
  ' "$root" "$port" >"$out/pages.tsv"
  cut -f1 "$out/pages.tsv" >"$out/pages.txt"
}
