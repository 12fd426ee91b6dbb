# Sourced by run.sh and test.sh: installs the Debian packages that are missing, as root or through sudo.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# What building the program needs; the Chinese font lets its texts render.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-translations-l10n libgl-dev libxcb1-dev
                fonts-noto-cjk)
