#!/bin/sh
# Installs what lpt-eeprom needs to build and test, from Debian 12's own packages.
# Uses sudo when not run as root; does nothing when everything is already there.
set -e
packages="g++ make cmake qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  libgtest-dev fonts-dejavu-core libsrecord-dev libboost-dev libxkbcommon-dev libcli11-dev help2man
  dpkg-dev file desktop-file-utils appstream"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
echo "Installing:$missing"
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
