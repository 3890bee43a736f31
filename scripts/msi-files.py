#!/usr/bin/env python3
"""Writes the package's file list from the deployed folder, as a fragment of components:
    msi-files.py DEPLOYED_DIR SOURCE_PREFIX OUT.wxs
Sources are named SOURCE_PREFIX/<path in the folder>: wixl takes relative names only, from the
folder it runs in. One component per file, its GUID derived from the file's path in the folder, so the same file
keeps the same component in every build and an upgrade or repair finds it again."""
import hashlib
import os
import sys
import uuid
from xml.sax.saxutils import quoteattr

# Derived from the package's UpgradeCode: another product's files never share a GUID with ours.
NAMESPACE = uuid.UUID("E95E5D60-C04C-4F35-A9E4-79C4991C05C1")


def ident(prefix, relative):
    # Identifiers allow letters, digits, '_' and '.', at most 72 characters; a digest keeps
    # them unique whatever the names are.
    return prefix + hashlib.sha256(relative.encode("utf-8")).hexdigest()[:32]


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: msi-files.py DEPLOYED_DIR SOURCE_PREFIX OUT.wxs")
    root, prefix, out = sys.argv[1:]
    if not os.path.isfile(os.path.join(root, "update.exe")):
        sys.exit(f"msi-files.py: {root} holds no update.exe; is it the deployed folder?")
    lines, components = [], []

    def walk(folder, relative, depth):
        pad = "  " * depth
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            rel = f"{relative}/{name}" if relative else name
            if os.path.islink(path):
                sys.exit(f"msi-files.py: {path} is a link; the package holds files only")
            if os.path.isdir(path):
                lines.append(f"{pad}<Directory Id={quoteattr(ident('d', rel))} Name={quoteattr(name)}>")
                walk(path, rel, depth + 1)
                lines.append(f"{pad}</Directory>")
            elif os.path.isfile(path):
                cid = ident("c", rel)
                guid = str(uuid.uuid5(NAMESPACE, rel.lower())).upper()  # Windows names ignore case
                lines.append(f"{pad}<Component Id={quoteattr(cid)} Guid=\"{guid}\" Win64=\"yes\">")
                lines.append(f"{pad}  <File Id={quoteattr(ident('f', rel))} Name={quoteattr(name)}"
                             f" Source={quoteattr(prefix + '/' + rel)} KeyPath=\"yes\"/>")
                lines.append(f"{pad}</Component>")
                components.append(cid)

    walk(root, "", 3)
    with open(out, "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="utf-8"?>\n')
        f.write('<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">\n  <Fragment>\n')
        f.write('    <DirectoryRef Id="INSTALLDIR">\n')
        f.write("\n".join(lines) + "\n")
        f.write('    </DirectoryRef>\n    <ComponentGroup Id="ProgramFiles">\n')
        for cid in components:
            f.write(f'      <ComponentRef Id="{cid}"/>\n')
        f.write("    </ComponentGroup>\n  </Fragment>\n</Wix>\n")


main()
