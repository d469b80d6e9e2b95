#!/usr/bin/python3
"""Checks the gauge exe's identity in its resource section.

  check_exe_resources.py altimeter.exe

Fails (exit 1) unless the exe holds icon group 1 with 48, 32 and 16 px
images whose icon resources are present and of the stated size, a manifest
(resource 1 of type 24) that selects common controls 6.0 and declares DPI
awareness, and a version resource 1.00 (fixed file version 1.0.0.0 and the
text "1.00"). Reads the PE file directly; needs nothing but Python.
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def read_resources(path):
    """{(type, name, language): bytes} of every resource of a PE file."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (112 if magic == 0x20B else 96)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, dirs + 2 * 8)
    if rsrc_rva == 0:
        return {}
    table = opt + opt_size
    spans = []
    for i in range(sections):
        _, vsize, vaddr, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        spans.append((vaddr, max(vsize, rawsize), rawptr))

    def offset(rva):
        for vaddr, size, rawptr in spans:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise ValueError("RVA 0x%x outside every section" % rva)

    base = offset(rsrc_rva)
    found = {}

    def walk(dir_off, path):
        named, ids = struct.unpack_from("<HH", data, base + dir_off + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + dir_off + 16 + 8 * i)
            key = name if not name & 0x80000000 else "name@%x" % (name & 0x7FFFFFFF)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, path + (key,))
            else:
                rva, size = struct.unpack_from("<II", data, base + target)
                found[path + (key,)] = data[offset(rva):offset(rva) + size]

    walk(0, ())
    return found


def by_type_and_name(resources, rtype, name):
    return [v for (t, n, _), v in resources.items() if t == rtype and n == name]


def check(path):
    res = read_resources(path)
    faults = []

    groups = by_type_and_name(res, RT_GROUP_ICON, 1)
    if not groups:
        faults.append("no icon group 1")
    else:
        grp = groups[0]
        _, kind, count = struct.unpack_from("<HHH", grp, 0)
        sizes = []
        for i in range(count):
            w, h, _, _, _, bits, nbytes, icon_id = struct.unpack_from("<BBBBHHIH", grp, 6 + 14 * i)
            w, h = w or 256, h or 256
            sizes.append(w)
            icons = by_type_and_name(res, RT_ICON, icon_id)
            if not icons or len(icons[0]) != nbytes:
                faults.append("icon %d (%d px) missing or of the wrong size" % (icon_id, w))
            elif icons[0][:4] == struct.pack("<I", 40):
                dib_w, dib_h = struct.unpack_from("<ii", icons[0], 4)
                if (dib_w, dib_h) != (w, 2 * h):
                    faults.append("icon %d is %dx%d inside, %d px in its group" % (icon_id, dib_w, dib_h // 2, w))
        if kind != 1 or sorted(sizes) != [16, 32, 48]:
            faults.append("icon group 1 holds sizes %s, expected 48, 32 and 16" % sizes)

    manifests = by_type_and_name(res, RT_MANIFEST, 1)
    if not manifests:
        faults.append("no manifest (resource 1 of type 24)")
    else:
        root = ET.fromstring(manifests[0].decode("utf-8"))
        comctl = [e for e in root.iter() if e.tag.endswith("assemblyIdentity")
                  and e.get("name") == "Microsoft.Windows.Common-Controls"]
        if not comctl or comctl[0].get("version") != "6.0.0.0":
            faults.append("manifest does not select common controls 6.0.0.0")
        aware = {e.tag.split("}")[-1]: (e.text or "").strip().lower() for e in root.iter()
                 if e.tag.endswith("}dpiAware") or e.tag.endswith("}dpiAwareness")}
        if not (aware.get("dpiAware", "") in ("true", "true/pm", "per monitor")
                or "permonitor" in aware.get("dpiAwareness", "")):
            faults.append("manifest declares no DPI awareness: %s" % aware)

    versions = by_type_and_name(res, RT_VERSION, 1)
    if not versions:
        faults.append("no version resource")
    else:
        ver = versions[0]
        at = ver.find(struct.pack("<I", 0xFEEF04BD))
        if at < 0:
            faults.append("version resource without VS_FIXEDFILEINFO")
        else:
            file_ms, file_ls = struct.unpack_from("<II", ver, at + 8)
            if (file_ms, file_ls) != (0x00010000, 0):
                faults.append("file version is %x.%x, expected 1.0.0.0" % (file_ms, file_ls))
        if "1.00".encode("utf-16-le") not in ver:
            faults.append('version resource lacks the text "1.00"')
    return faults


def main():
    faults = check(sys.argv[1])
    for fault in faults:
        print("FAIL:", fault)
    if not faults:
        print("icon group 1 (48, 32, 16 px), manifest and version 1.00 present")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
