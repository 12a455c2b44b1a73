#!/bin/bash
# The files shipped for running grpaudit on a switch: the systemd units
# verify (with the built binary in place of the installed one), and the
# Prometheus alerting rules check, where the tools for it are installed.
#   dist_test.sh GRPAUDIT_BINARY SOURCE_DIR
set -euo pipefail
binary=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if command -v systemd-analyze >/dev/null; then
  sed "s|/usr/bin/grpaudit|$binary|" "$source/dist/grpaudit.service" >"$work/grpaudit.service"
  cp "$source/dist/grpaudit.timer" "$work/"
  systemd-analyze verify --man=no "$work/grpaudit.service" "$work/grpaudit.timer"
  echo "systemd units: verified"
else
  echo "systemd-analyze not installed: units not verified"
fi

if command -v promtool >/dev/null; then
  promtool check rules "$source/dist/grpaudit.rules.yml"
else
  echo "promtool not installed: alerting rules not checked"
fi


# The bash completion offers the commands and each command's options.
completion=$(bash -c "source '$source/dist/grpaudit.bash-completion'
  COMP_WORDS=(grpaudit w); COMP_CWORD=1; _grpaudit; echo \"\${COMPREPLY[*]}\"
  COMP_WORDS=(grpaudit check --met); COMP_CWORD=2; _grpaudit; echo \"\${COMPREPLY[*]}\"
  COMP_WORDS=(grpaudit check --color n); COMP_CWORD=3; _grpaudit; echo \"\${COMPREPLY[*]}\"")
[ "$completion" = "$(printf 'watch\n--metrics-file\nnever')" ] || {
  echo "completion: $completion"
  exit 1
}
echo "bash completion: offers commands, options and values"
