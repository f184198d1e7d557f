# Sourced by scripts/test and scripts/run: installs the Debian packages the build needs.
PLEXOR_PACKAGES=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev zlib1g-dev zip python3 clang-format gdal-bin qt6-base-dev qt6-qpa-plugins qt6-translations-l10n fonts-ipafont-gothic
  xvfb xauth nodejs)

ensure_packages() {
  local missing=()
  for p in "${PLEXOR_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
