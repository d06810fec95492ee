"""The resources of a program as pefile reads them, and parsers of the two
kinds setup.exe carries: a plain dialog template and an icon group."""
import struct

RT_ICON, RT_DIALOG, RT_GROUP_ICON = 3, 5, 14


def resources(path):
    """{(type, name, language): data} of every resource in the image, as
    pefile reads them; names and types are ints (ordinals) or strs."""
    import pefile
    pe = pefile.PE(path)
    found = {}
    for kind in getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None) and \
            pe.DIRECTORY_ENTRY_RESOURCE.entries or []:
        for name in kind.directory.entries:
            for language in name.directory.entries:
                leaf = language.data.struct
                found[(kind.id if kind.name is None else str(kind.name),
                       name.id if name.name is None else str(name.name),
                       language.id)] = pe.get_data(leaf.OffsetToData, leaf.Size)
    return found


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
