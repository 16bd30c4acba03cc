#!/usr/bin/env python3
"""Writes an EDS of 1,000 objects for the classic pages' benchmark.

Half the objects are plain values, half are records with a sub-index count and
four sub-entries, so the EDS reader makes 3,000 records. The objects lie in the
manufacturer (0x2000..) and device profile (0x6000..) ranges, with the data
types the object-dictionary page shows in different editors.

    gen_eds.py OUTPUT [OBJECTS]
"""
import sys

TYPES = [
    ("0x0005", "7"),            # UNSIGNED8
    ("0x0006", "0x10"),         # UNSIGNED16
    ("0x0007", "0x12345678"),   # UNSIGNED32
    ("0x0003", "-5"),           # INTEGER16
    ("0x0004", "100000"),       # INTEGER32
    ("0x0008", "1.5"),          # REAL32
    ("0x0001", "1"),            # BOOLEAN
    ("0x0009", "text"),         # VISIBLE_STRING
]


def value_section(name, parameter, n):
    data_type, default = TYPES[n % len(TYPES)]
    access = "ro" if n % 5 == 0 else "rw"
    return (f"[{name}]\nParameterName={parameter}\nObjectType=0x7\nDataType={data_type}\n"
            f"AccessType={access}\nDefaultValue={default}\nComment=Generated object {n}\n\n")


def main():
    out = sys.argv[1]
    objects = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    lines = ["[FileInfo]\nFileName=bench.eds\nFileVersion=1\nDescription=Benchmark\n\n"]
    for i in range(objects):
        index = 0x2000 + i if i < objects * 7 // 10 else 0x6000 + i
        name = f"{index:04X}"
        if i % 2 == 0:
            lines.append(value_section(name, f"Value {i}", i))
            continue
        lines.append(f"[{name}]\nParameterName=Record {i}\nObjectType=0x9\nSubNumber=5\n\n")
        lines.append(f"[{name}sub0]\nParameterName=Number of entries\nObjectType=0x7\nDataType=0x0005\n"
                     f"AccessType=ro\nDefaultValue=4\n\n")
        for sub in range(1, 5):
            lines.append(value_section(f"{name}sub{sub}", f"Field {sub}", i + sub))
    with open(out, "w", encoding="utf-8") as f:
        f.write("".join(lines))


if __name__ == "__main__":
    main()
