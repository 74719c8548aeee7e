#!/bin/sh
# Installs what the build and the tests need on Debian 12 or 13, when
# missing, and the packages named as arguments.
set -eu
# clang's sanitizer and libFuzzer runtime is named by clang's version.
case $(. /etc/os-release && echo "${VERSION_CODENAME-}") in
    bookworm) clang=14 ;;
    trixie) clang=19 ;;
    *) clang=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9]*\)$/\1/p' | head -n1) ;;
esac
packages="$* g++ cmake make pkg-config libcups2-dev libcupsimage2-dev libgtest-dev libpng-dev libfreetype-dev
fonts-dejavu-core cups cups-client cups-daemon cups-ppdc cups-filters cups-filters-core-drivers ghostscript
mupdf-tools libpappl-dev libpam0g-dev cups-ipp-utils socat curl iproute2 systemd clang libclang-rt-${clang:?clang version unknown}-dev
chromium fonts-liberation2 qrencode zint librsvg2-bin poppler-utils tesseract-ocr tesseract-ocr-eng zbar-tools
python3 python3-pil"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
