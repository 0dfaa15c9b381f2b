#!/usr/bin/env bash
# Opens every metafile the program writes (the 1D chart and the defocus map, as EMF and as WMF) in
# LibreOffice, the program Linux users open them in, and compares each picture with the chart's own
# bitmap; both pictures are kept for a person to look at. The saving tests do the same comparison
# whenever LibreOffice is installed; this script insists on it. LibreOffice is not a build
# dependency (libreoffice-draw, about 250 MB): install it by hand.
# Usage: scripts/check-metafiles.sh [build-folder] [picture-folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
pictures=$(realpath -m "${2:-$build/office-pictures}")
if ! command -v soffice >/dev/null; then
    echo "LibreOffice is not installed: apt-get install --no-install-recommends libreoffice-draw" >&2
    exit 1
fi
cmake --build "$build" --target test_save
ORVALIS_OFFICE_PICTURES="$pictures" QT_QPA_PLATFORM=offscreen "$build/tests/ui/test_save" metafilesInOffice
echo "LibreOffice's pictures (*-office.png) beside the chart bitmaps (*-bitmap.png): $pictures"
