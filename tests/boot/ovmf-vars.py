#!/usr/bin/env python3
"""Reads and edits the variable store of a copy of OVMF's variables file (OVMF_VARS*.fd), for the tests of
the UEFI route: the firmware's own Boot####, BootOrder and BootNext after a start, and the variables the
program's Windows half would write before one (Wine has no firmware to write them to).

  ovmf-vars.py FILE list                        name, GUID, attributes, size of every live variable
  ovmf-vars.py FILE get NAME [GUID]             the value as hex; exit 1 when there is none
  ovmf-vars.py FILE set NAME HEX [ATTRS]        adds the variable (global GUID, default attributes 7),
                                                deleting the live one of that name first
  ovmf-vars.py FILE delete NAME [GUID]

The store follows the firmware volume header: the authenticated variable store's header, then variables
one after another, each with a 60-byte header (start 0x55AA, state, attributes, monotonic count, time,
public key index, name and data sizes, vendor GUID), its UTF-16 name and its data, aligned to 4 bytes; free
space is 0xFF. A live variable's state is 0x3F (added), or 0x3E while a replacement is being written."""
import struct
import sys
import uuid

GLOBAL = "8be4df61-93ca-11d2-aa0d-00e098032b8c"
HEADER = 60
ADDED, DELETED_BIT = 0x3F, 0x02


def store(data):
    if data[0x28:0x2C] != b"_FVH":
        sys.exit("not a firmware volume")
    at = struct.unpack_from("<H", data, 0x30)[0]
    size = struct.unpack_from("<I", data, at + 16)[0]
    return at + 28, at + size


def variables(data):
    at, end = store(data)
    while at + HEADER <= end and struct.unpack_from("<H", data, at)[0] == 0x55AA:
        state, attrs = data[at + 2], struct.unpack_from("<I", data, at + 4)[0]
        name_size, data_size = struct.unpack_from("<II", data, at + 36)
        guid = str(uuid.UUID(bytes_le=bytes(data[at + 44:at + 60])))
        name = bytes(data[at + HEADER:at + HEADER + name_size]).decode("utf-16-le").rstrip("\0")
        value_at = at + HEADER + name_size
        yield {"at": at, "state": state, "attrs": attrs, "guid": guid, "name": name,
               "value": bytes(data[value_at:value_at + data_size])}
        at = (value_at + data_size + 3) & ~3
    yield {"at": at, "end": True}


def live(v):
    return v["state"] in (ADDED, ADDED & 0xFE)


def find(data, name, guid):
    for v in variables(data):
        if "end" not in v and live(v) and v["name"] == name and v["guid"] == guid:
            return v
    return None


def main():
    path, command, args = sys.argv[1], sys.argv[2], sys.argv[3:]
    data = bytearray(open(path, "rb").read())
    if command == "list":
        for v in variables(data):
            if "end" not in v and live(v):
                print(v["name"], v["guid"], v["attrs"], len(v["value"]))
        return 0
    name = args[0]
    if command == "get":
        v = find(data, name, args[1].lower() if len(args) > 1 else GLOBAL)
        if v is None:
            return 1
        print(v["value"].hex())
        return 0
    if command == "delete":
        v = find(data, name, args[1].lower() if len(args) > 1 else GLOBAL)
        if v is not None:
            data[v["at"] + 2] &= ~DELETED_BIT & 0xFF
        open(path, "wb").write(data)
        return 0
    if command == "set":
        value, attrs = bytes.fromhex(args[1]), int(args[2], 0) if len(args) > 2 else 7
        old = find(data, name, GLOBAL)
        if old is not None:
            data[old["at"] + 2] &= ~DELETED_BIT & 0xFF
        at = [v for v in variables(data) if "end" in v][0]["at"]
        encoded = (name + "\0").encode("utf-16-le")
        header = struct.pack("<HBBIQ16sIII16s", 0x55AA, ADDED, 0, attrs, 0, b"\0" * 16, 0, len(encoded), len(value),
                             uuid.UUID(GLOBAL).bytes_le)
        record = header + encoded + value
        if at + len(record) > store(data)[1] or any(b != 0xFF for b in data[at:at + len(record)]):
            sys.exit("no free space in the variable store")
        data[at:at + len(record)] = record
        open(path, "wb").write(data)
        return 0
    sys.exit(__doc__)


if __name__ == "__main__":
    sys.exit(main())
