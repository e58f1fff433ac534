#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# Usage: scripts/deps.sh [PACKAGE ...]   (default: the packages listed below)
# With root rights it runs apt-get itself (updating the package lists once when a package is not
# known yet); without them it prints the one command that installs what is missing.
set -euo pipefail

packages=("$@")
if [ ${#packages[@]} -eq 0 ]; then
    packages=(
        cmake make g++          # the build
        libgtest-dev            # the test suite
        libcli11-dev            # the command line
        zlib1g-dev              # the checksum of checkpoints (CRC-32)
        libgcrypt20-dev nlohmann-json3-dev  # manifest.json: its SHA-256 hashes and its JSON
        libpcg-cpp-dev          # the pcg64 random number generator (header only)
        libboost-math-dev       # the distributions of the statistical tests (Boost.Math)
        # make fuzz / make fuzz-smoke: clang and its runtime libraries (libFuzzer, the sanitizers)
        clang libclang-rt-dev
        libplplot-dev pkgconf   # the report's plots (PLplot's SVG device, found through pkg-config)
        chromium                # the report page's test in a real browser
        libbenchmark-dev        # make bench: the inner operations
        # valdrin-sweep: the job engine and the transfer it uses, the results database (library
        # and shell), and the SSH client and server its test across two machines starts on
        # loopback addresses
        parallel rsync libsqlite3-dev sqlite3 openssh-client openssh-server
        # valdrin-sweep --slurm: its tests start a one-node Slurm of their own (scripts/local-slurm.sh)
        slurm-wlm
        # the Python package (built against /usr/bin/python3), its tests and its notebook
        pybind11-dev python3-dev python3-numpy python3-pandas python3-pytest python3-tqdm
        python3-matplotlib jupyter-nbconvert python3-ipykernel
        python3-scipy           # the statistical tests are checked against SciPy's
    )
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

command="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        command="sudo $command"
    else
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them with: sudo apt-get update && sudo $command" >&2
        exit 1
    fi
fi
echo "Installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# A package the lists do not know yet needs them refreshed first.
if ! apt-cache show "${missing[@]}" >/dev/null 2>&1; then
    ${command%%apt-get*}apt-get update -qq
fi
if ! $command >/dev/null; then
    ${command%%apt-get*}apt-get update -qq
    $command >/dev/null
fi
