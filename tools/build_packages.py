#!/usr/bin/env python3
"""Writes the update server's content for the three environments.

usage: build_packages.py --out DIR --stand-in EXE [--setup-exe EXE] [--host HOST]
                         [--setup-version 2025.79.0.0]

Under DIR (the server root, for tools/update_server.py --root DIR):
  update/setup_ZAN2025[_dev|_test].txt   newest setup version, four numbers
  ZAN2025[_DEV|_TEST].7z                 setup package: ZAN2025[_DEV|_TEST].exe
  update/korval/korval2025.7z            platform tree: HOME\\BIN\\wrun32.exe,
                                         HOME\\ETC, FILES, ZANOLINF.TXT
  update/korval/peripheral/korval2025.7z the same tree as a peripheral unit gets
                                         it, with FILES\\TXT\\velmora.uff and
                                         HOME\\ETC\\installa.mod (never requested
                                         by the setup: tests place it beside it)
  update/desktopapp[_dev|_test].xml      descriptor: download_url, number, checksum
  update/desktopapp/<env>/desktopapp.7z  DesktopApp.exe, vex.exe, version folder
                                         with its "locales" folder
The executables are copies of the stand-in program (--stand-in); the setup
package holds --setup-exe when given. The descriptor's checksum is computed
here from the tree packed into the archive, by the DesktopApp folder rule.
Needs 7zz on the PATH.
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

YEAR = "2025"
PLATFORM = "ZAN" + YEAR
# environment: (setup information suffix, setup package suffix, descriptor suffix, version)
ENVIRONMENTS = {
    "production": ("", "", "", "1.2.3.4"),
    "test": ("_test", "_TEST", "_test", "1.2.3.5"),
    "dev": ("_dev", "_DEV", "_dev", "1.2.3.6"),
}
SKIP_NAMES = {"old_vex.exe", "new_vex.exe", "debug.log", "chrome_debug.log", "Xmpp", "Xmpp-journal"}


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("ascii"))


def pack(tree, archive):
    """A .7z of the tree's content (the tree's entries at the archive's top)."""
    os.makedirs(os.path.dirname(archive), exist_ok=True)
    if os.path.exists(archive):
        os.remove(archive)
    entries = sorted(os.listdir(tree))
    subprocess.run(["7zz", "a", "-t7z", "-mx=5", "-bd", "-bso0", "-bsp0",
                    os.path.abspath(archive)] + entries, cwd=tree, check=True)


def folder_checksum(bin_folder, version):
    """The DesktopApp folder checksum of a tree, as a Windows client computes it
    after unpacking the tree into its bin folder (paths are compared in the
    client's form, "\\" separated, below a common prefix)."""
    listed = []  # (windows-style relative path, full path, is folder)

    def collect(folder, relative):
        for name in os.listdir(folder):
            if name.startswith(".") or name in SKIP_NAMES:
                continue
            full = os.path.join(folder, name)
            rel = relative + name
            if not os.path.isdir(full):
                listed.append((rel, full, False))
            elif rel.endswith(version) or "locales" in rel.lower():
                listed.append((rel, full, True))
                collect(full, rel + "\\")

    collect(bin_folder, "")
    listed.sort(key=lambda entry: entry[0].encode("latin-1"))
    digests = []
    for _, full, is_folder in listed:
        if is_folder:
            digests.append("-1")
        else:
            with open(full, "rb") as f:
                digests.append(hashlib.md5(f.read()).hexdigest())
    return hashlib.md5("".join(digests).encode("ascii")).hexdigest()


def korval_tree(root, stand_in, peripheral=False):
    os.makedirs(os.path.join(root, "HOME", "BIN"))
    shutil.copyfile(stand_in, os.path.join(root, "HOME", "BIN", "wrun32.exe"))
    write(os.path.join(root, "HOME", "ETC", "ZAN.INI"), "[ZAN]\r\nANNO=%s\r\n" % YEAR)
    write(os.path.join(root, "FILES", "LEGGIMI.TXT"), "Archivi della piattaforma\r\n")
    write(os.path.join(root, "ZANOLINF.TXT"), "%s\r\n" % PLATFORM)
    if peripheral:
        # Kept apart from the office package: Windows names ignore case, so an
        # "installa.mod" there would be the office's own INSTALLA.MOD.
        write(os.path.join(root, "FILES", "TXT", "velmora.uff"), "UNITA' PERIFERICA\r\n")
        write(os.path.join(root, "HOME", "ETC", "installa.mod"),
              "CONFIGURAZIONE UNITA' PERIFERICA %s\r\n" % YEAR)


def desktopapp_tree(root, stand_in, version):
    os.makedirs(root, exist_ok=True)
    shutil.copyfile(stand_in, os.path.join(root, "DesktopApp.exe"))
    shutil.copyfile(stand_in, os.path.join(root, "vex.exe"))
    write(os.path.join(root, "debug.log"), "left out of the checksum\r\n")
    version_dir = os.path.join(root, version)
    write(os.path.join(version_dir, "resources.pak"), ("risorse %s\r\n" % version) * 50)
    write(os.path.join(version_dir, "images", "logo.txt"), "not entered by the checksum\r\n")
    write(os.path.join(version_dir, "locales", "it.pak"), "it %s\r\n" % version)
    write(os.path.join(version_dir, "locales", "en-US.pak"), "en-US %s\r\n" % version)
    write(os.path.join(version_dir, "locales", "extra", "it-extra.pak"), "extra\r\n")


def main():
    parser = argparse.ArgumentParser(description="Builds the update server's content.")
    parser.add_argument("--out", required=True, help="server root to write")
    parser.add_argument("--stand-in", required=True, help="stand-in Windows executable")
    parser.add_argument("--setup-exe", help="setup executable for the setup packages")
    parser.add_argument("--host", default="aggiornamenti.zan.example", help="update host")
    parser.add_argument("--setup-version", default="2025.79.0.0", help="newest setup version")
    options = parser.parse_args()

    if len(options.setup_version.split(".")) != 4:
        sys.exit("--setup-version needs four dotted numbers")
    out = os.path.abspath(options.out)
    setup_exe = options.setup_exe or options.stand_in
    work = tempfile.mkdtemp(prefix="zan_packages_")
    try:
        korval = os.path.join(work, "korval")
        korval_tree(korval, options.stand_in)
        pack(korval, os.path.join(out, "update", "korval", "korval%s.7z" % YEAR))
        unit = os.path.join(work, "korval_peripheral")
        korval_tree(unit, options.stand_in, peripheral=True)
        pack(unit, os.path.join(out, "update", "korval", "peripheral", "korval%s.7z" % YEAR))

        for env, (info_suffix, package_suffix, xml_suffix, version) in ENVIRONMENTS.items():
            write(os.path.join(out, "update", "setup_%s%s.txt" % (PLATFORM, info_suffix)),
                  options.setup_version + "\r\n")

            setup_tree = os.path.join(work, "setup" + package_suffix)
            os.makedirs(setup_tree)
            shutil.copyfile(setup_exe, os.path.join(setup_tree, PLATFORM + package_suffix + ".exe"))
            pack(setup_tree, os.path.join(out, PLATFORM + package_suffix + ".7z"))

            app = os.path.join(work, "desktopapp_" + env)
            desktopapp_tree(app, options.stand_in, version)
            archive_path = "/update/desktopapp/%s/desktopapp.7z" % env
            pack(app, os.path.join(out, archive_path.lstrip("/")))
            descriptor = ('<?xml version="1.0" encoding="UTF-8"?>\r\n<rel>\r\n'
                          "  <download_url>http://%s%s</download_url>\r\n"
                          "  <number>%s</number>\r\n  <checksum>%s</checksum>\r\n</rel>\r\n"
                          % (options.host, archive_path, version, folder_checksum(app, version)))
            write(os.path.join(out, "update", "desktopapp%s.xml" % xml_suffix), descriptor)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
