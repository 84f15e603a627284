#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need, when missing.
# Usage: scripts/install-deps.sh [build|tools|voice-check|bench|package|fuzz|ci]
#   build (default): compiler, libraries, the independent readers the tests use, the X server,
#                    window manager and xdotool of the window's tests, and groff,
#                    with which the tests render the manual page
#   package:         additionally what CPack needs to make the Debian package (make package)
#   tools:           additionally the speech synthesiser that tools/ uses to remake voices
#   voice-check:     additionally the speech recogniser and its English model with which
#                    tools/voice-check.py hears the announcements (make voice-check)
#   bench:           additionally GNU time, which bench/compare.py runs every process under
#   fuzz:            additionally clang with libFuzzer and the sanitizer runtimes, and the
#                    symbolizer for readable reports (scripts/fuzz.sh)
#   ci:              the fuzz group, valgrind and clang-format (.ci/run)
set -euo pipefail

packages=(cmake g++ ninja-build pkg-config
          nlohmann-json3-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
          libsndfile1-dev libebur128-dev sndfile-programs sox ffmpeg mediainfo python3
          qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core desktop-file-utils locales
          groff-base xvfb openbox xdotool)
case "${1:-build}" in
  tools) packages+=(flite) ;;
  voice-check) packages+=(pocketsphinx pocketsphinx-en-us) ;;
  bench) packages+=(time) ;;
  package) packages+=(dpkg-dev file) ;;
  fuzz) packages+=(clang libclang-rt-14-dev llvm) ;;
  ci) packages+=(clang libclang-rt-14-dev llvm valgrind clang-format) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The window's tests check that numbers keep their form under a German desktop locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "Generating the de_DE.UTF-8 locale" >&2
  $SUDO sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
