#!/usr/bin/env bash
# Installs what building, testing and the demo need on a fresh Debian 12 machine, and the
# packages named as arguments (for scripts that need more).
set -euo pipefail
pkgs=(g++ cmake make pkg-config libgtest-dev libgmock-dev libpqxx-dev libpq-dev libicu-dev
      libsqlite3-dev locales postgresql postgresql-client procps qt6-base-dev "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# the tests run programs and a server that speak German, and the suite must pass under
# a German or Turkish LANG too
for loc in de_DE tr_TR; do
  locale -a 2>/dev/null | grep -qix "$loc.utf-\?8" && continue
  if [ "$(id -u)" -ne 0 ]; then
    echo "missing locale: $loc.UTF-8 (run as root to generate it)" >&2
    exit 1
  fi
  # listed, so that a later locale-gen (the package's upgrade runs one) keeps it
  grep -qx "$loc.UTF-8 UTF-8" /etc/locale.gen 2>/dev/null || echo "$loc.UTF-8 UTF-8" >> /etc/locale.gen
  localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
done
