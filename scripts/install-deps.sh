#!/usr/bin/env bash
# Installs every Debian package Orvalis needs to build, test and run.
# Quiet and quick when everything is already there; runs apt-get update only when something is missing.
set -euo pipefail
packages=(
  # make format-check; make package and its checks (CPack with dpkg-shlibdeps, the validators)
  clang-format dpkg-dev file lintian desktop-file-utils appstream
  build-essential cmake ninja-build
  qt6-base-dev qt6-svg-dev libqcustomplot-dev
  libsqlite3-dev libuemf-dev libbenchmark-dev
  libfftw3-dev libtiff-dev libpng-dev pkg-config libnlopt-cxx-dev # the micrograph library and its CTF fit
  # the micrograph readers' test files are written by independent writers
  python3-numpy python3-mrcfile python3-tifffile libtiff-tools
  clang libclang-rt-14-dev
  xvfb xauth imagemagick
  # scripts/make-icons.sh only (renders the committed icon PNGs from their SVG sources)
  librsvg2-bin
  fonts-dejavu-core
  emf2svg libwmf-bin fonts-urw-base35 poppler-utils # the tests read saved metafiles and PDFs back with their converters
  libreoffice-draw # the saving tests open the EMF and WMF files in LibreOffice, as Office users on Linux do
  # make bench: the numpy peers of bench_peer and bench_micrograph use python3-numpy (above)
  relion # bench/relion_optics_check.py and tests/micrograph/make_relion_reference.py sample RELION's own CTF
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
