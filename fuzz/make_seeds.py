#!/usr/bin/env python3
"""Writes the small seed files of fuzz/corpus/ (run once; the seeds are kept in the repository)."""
import io
import os
import struct
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SYN, STX, ETX = 0x96, 0x82, 0x83
TAG = b"A0712639-C1F7-43ad-887E-42BA1473A4BB"


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def record(cmd, code, seg, body, raw=0):
    """A received record: the frame from its second SYN on."""
    head = bytes([STX, ord(cmd), code]) + struct.pack("<HII", seg, len(body), raw)
    crc = zlib.crc32(head) & 0xFFFFFFFF
    return bytes([SYN]) + head + struct.pack("<I", crc) + body + bytes([ETX])


def setup_body():
    fields = bytes([1]) + b"SFQAABCDEFG V2.0.1".ljust(48, b"\0") + bytes(5)
    fields += b"TALO_TYPE_VMR_NORMAL_V3.1.7".ljust(48, b"\0") + bytes(5)
    fields = fields[:107].ljust(107, b"\0")
    return fields + struct.pack("<I", zlib.crc32(fields) & 0xFFFFFFFF)


def image(size=4096):
    data = bytearray(b"\xff" * size)
    boot = b"SFQAABCDEFG V2.0.1\0"
    data[85:85 + len(boot)] = boot
    stack = TAG + b"TALO_TYPE_VMR_NORMAL_V3.1.7 build\0"
    data[600:600 + len(stack)] = stack
    mmi = b"KVX_1.2.3_ML_VM_release\0"
    data[1200:1200 + len(mmi)] = mmi
    nv = b"NV_VER0102\0"
    data[2000:2000 + len(nv)] = nv
    return bytes(data)


def archive(items):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as zipped:
        for name, data in items:
            zipped.writestr(name, data)
    return buffer.getvalue()


# Receive ring: operations are chosen by the input bytes, so seeds are lines and frames as text.
frame = record("s", 0xC0, 0, setup_body())
put("rx_ring_fuzz", "lines", b"\x00\x10OK+SYSVer:KVX_1.2.3_ML_\r\n\x03\x40\x04\x00\x40")
put("rx_ring_fuzz", "frame", b"\x00\x40\x96" + frame[:63] + b"\x04\xff\xff")

put("frame_fuzz", "setup_response", frame)
put("frame_fuzz", "write_ack", record("w", 0xC0, 3, b""))
put("frame_fuzz", "finish_ack", record("f", 0xC0, 0, b""))
put("frame_fuzz", "bad_crc", record("w", 0xC2, 1, b"")[:-6] + b"\0\0\0\0\x83")

for name, text in {
    "mmi_image": b"KVX_1.2.3_ML_VM_x",
    "mmi_terminal": b"OK+SYSVer:TVLMX_2.0.1_GL_",
    "stack_image": b"TALO_TYPE_VMR_NORMAL_V3.1.7 build",
    "stack_terminal": b"+GGMR: JQ_SAT_KVX_V1.2.3 2024",
    "emergency": b"EMERGENCY MODE",
    "boot_image": b"SFQAABCDEFG V2.0.1",
    "boot_terminal": b"+HWVER: SFQAABCDEFG V2.0.1\r\n",
    "nv": b"xxNV_VER0102",
}.items():
    put("version_fuzz", name, text)

put("image_scan_fuzz", "image", b"\x00" + image())
put("image_scan_fuzz", "image_dev_downgrade", b"\x03" + image(1024))

put("staging_fuzz", "archive", b"\x00" + archive([("KVX_1.2.3.bin", image()),
                                                  ("JQ_2.0.bin", b"jq image")]))
put("staging_fuzz", "archive_folders", b"\x08" + archive([("sub/", b""),
                                                          ("KVX_9.bin", image(2048))]))
put("staging_fuzz", "plain_kvx", b"\x02" + image())
put("staging_fuzz", "plain_jq", b"\x01jq")

put("config_fuzz", "config", b"portName=ttyUSB0\r\npathFile=/home/op/KVX_1.stf\r\n")
put("config_fuzz", "empty_keys", b"portName=\r\npathFile=\r\n")
