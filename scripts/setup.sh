#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs what is missing, then configures and
# builds into build/. Sourced, not run.

QUILLMAR_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev nettle-dev
  libgtest-dev
  fonts-comic-neue fonts-dejavu-core
  librsvg2-bin desktop-file-utils xdg-utils shared-mime-info libglib2.0-bin
  xvfb xauth
  clang libclang-rt-14-dev openssl
  dpkg-dev file appstream lintian devscripts
  gettext locales-all qt6-translations-l10n
)

quillmar_install_missing() {
  local missing=()
  for pkg in "${QUILLMAR_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

quillmar_build() {
  local dir=$1; shift
  cmake -S "${QUILLMAR_SRC:-.}" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
