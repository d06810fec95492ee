"""Reads the resources of a 32-bit PE executable, and parses the two kinds
setup.exe carries: a plain dialog template and an icon group."""
import struct

RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14


def resources(path):
    """{(type, name, language): data} of every resource in the image; names
    and types are ints (ordinals) or strs."""
    with open(path, "rb") as f:
        image = f.read()
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    assert image[pe:pe + 4] == b"PE\0\0"
    sections, optional_size = struct.unpack_from("<H", image, pe + 6)[0], \
        struct.unpack_from("<H", image, pe + 20)[0]
    optional = pe + 24
    assert struct.unpack_from("<H", image, optional)[0] == 0x10B, "not PE32"
    rsrc_rva, rsrc_size = struct.unpack_from("<II", image, optional + 96 + 2 * 8)
    if rsrc_rva == 0 or rsrc_size == 0:
        return {}

    table = optional + optional_size
    spans = []
    for i in range(sections):
        vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", image, table + 40 * i + 8)
        spans.append((vaddr, max(vsize, rawsize), rawptr))

    def offset(rva):
        for vaddr, size, rawptr in spans:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + rawptr
        raise ValueError("RVA %#x outside every section" % rva)

    base = offset(rsrc_rva)

    def name_at(entry_name):
        if entry_name & 0x80000000:
            at = base + (entry_name & 0x7FFFFFFF)
            length = struct.unpack_from("<H", image, at)[0]
            return image[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return entry_name

    def walk(directory, path):
        named, ids = struct.unpack_from("<HH", image, base + directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", image, base + directory + 16 + 8 * i)
            key = path + (name_at(name),)
            if target & 0x80000000:
                yield from walk(target & 0x7FFFFFFF, key)
            else:
                rva, size = struct.unpack_from("<II", image, base + target)
                yield key, image[offset(rva):offset(rva) + size]

    return dict(walk(0, ()))


def _sz_or_ord(data, at):
    """A dialog template's name-or-ordinal field: (value, next offset)."""
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def dialog(data):
    """The header of a plain (not extended) dialog template, as a dict."""
    style, ex_style, items, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    at = 18
    menu, at = _sz_or_ord(data, at)
    window_class, at = _sz_or_ord(data, at)
    title, at = _sz_or_ord(data, at)
    result = dict(style=style, ex_style=ex_style, items=items, rect=(x, y, cx, cy),
                  menu=menu, window_class=window_class, title=title)
    if style & 0x40:  # DS_SETFONT
        result["point_size"] = struct.unpack_from("<H", data, at)[0]
        result["face"], at = _sz_or_ord(data, at + 2)
    return result


def icon_group(data):
    """The entries of an icon group: dicts of width, height, colours, planes,
    bits, size and the RT_ICON ordinal."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert (reserved, kind) == (0, 1)
    entries = []
    for i in range(count):
        w, h, colours, _, planes, bits, size, ordinal = struct.unpack_from("<BBBBHHIH", data,
                                                                           6 + 14 * i)
        entries.append(dict(width=w or 256, height=h or 256, colours=colours, planes=planes,
                            bits=bits, size=size, ordinal=ordinal))
    return entries
