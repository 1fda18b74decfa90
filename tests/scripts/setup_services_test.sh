#!/usr/bin/env bash
# Runs scripts/setup as on a machine that lacks every package, with apt-get,
# sudo and every service manager replaced by programs that record their
# calls: the setup installs each group it is asked for and leaves the
# machine's services alone.
#   setup_services_test.sh SOURCE_DIR
set -uo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
for tool in apt-get sudo npm systemctl service invoke-rc.d update-rc.d deb-systemd-invoke \
  policy-rc.d; do
  cat >"$work/bin/$tool" <<TOOL
#!/usr/bin/env bash
echo "$tool \$*" >>"$work/calls"
[[ $tool == sudo ]] && exec "\$@"
exit 0
TOOL
done
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
chmod +x "$work"/bin/*

failures=0
check() { # description command...
  local what=$1; shift
  if ! "$@"; then echo "FAIL: $what" >&2; failures=$((failures + 1)); fi
}

# group | packages its install must name | packages it must not
cases=(
  "|cmake qt6-base-dev libqscintilla2-qt6-dev|nginx tinyproxy libgtest-dev clang-14 lintian"
  "--test|cmake nginx tinyproxy microsocks libgtest-dev xvfb clang-format-14|"
  "--package|cmake dpkg-dev lintian|nginx libgtest-dev"
)
for c in "${cases[@]}"; do
  IFS='|' read -r group wanted unwanted <<<"$c"
  : >"$work/calls"
  # shellcheck disable=SC2086 # the group is one word or none
  check "setup $group exits 0" env PATH="$work/bin:$PATH" "$source/scripts/setup" $group
  grep '^apt-get install' "$work/calls" | tr ' ' '\n' >"$work/installed"
  for p in $wanted; do check "setup $group installs $p" grep -qx -- "$p" "$work/installed"; done
  for p in $unwanted; do check "setup $group leaves $p out" bash -c "! grep -qx -- $p $work/installed"; done
  check "setup $group calls no service manager" \
    bash -c "! grep -Ev '^(apt-get|sudo|npm) ' '$work/calls'"
done
# The scripts that call the setup have no service calls of their own.
check "no script manages a service" \
  bash -c "! grep -nE '^[^#]*\\b(systemctl|service|invoke-rc\\.d|update-rc\\.d)\\b' \
    '$source'/scripts/{setup,run,test,package,screenshots,build,bench} '$source/.ci/run'"
((failures == 0)) && echo "setup leaves services alone"
exit $((failures > 0))
