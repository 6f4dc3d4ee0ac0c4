#!/usr/bin/python3
"""Writes the seed files of the ID3 and play list fuzzers into corpus/ (each well under 4 KiB)."""
import os
import struct
import sys
import tempfile

from mutagen.id3 import (APIC, COMM, ID3, TALB, TCON, TDRC, TIT1, TIT2, TOPE, TPE1, TRCK,
                         TXXX, TYER, USLT, WXXX, PRIV)

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
os.makedirs(out, exist_ok=True)
audio = b"\xff\xfb\x90\x64" + bytes(60)


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def save(name, data):
    assert len(data) < 4096, name
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def mutagen_tag(name, version, encoding, frames):
    with tempfile.NamedTemporaryFile(suffix=".mp3", delete=False) as f:
        f.write(audio)
        path = f.name
    tag = ID3()
    for frame in frames(encoding):
        tag.add(frame)
    tag.save(path, v2_version=version, padding=lambda info: 16)
    with open(path, "rb") as f:
        save(name, f.read())
    os.unlink(path)


def full(e):
    return [TIT2(encoding=e, text="Harbour Lights"), TPE1(encoding=e, text="Kestrels"),
            TALB(encoding=e, text="Coast"), TRCK(encoding=e, text="3/12"),
            TCON(encoding=e, text="(17)Rock"), COMM(encoding=e, lang="deu", desc="d", text="~[x"),
            TDRC(encoding=e, text="2001-05-06"), WXXX(encoding=e, desc="home", url="http://a.b/"),
            APIC(encoding=e, mime="image/png", type=3, desc="cover", data=b"\x89PNG" + bytes(20)),
            USLT(encoding=e, lang="eng", desc="", text="la la"), TXXX(encoding=e, desc="k", text="v"),
            PRIV(owner="owner", data=b"\x01\x02")]


def fallback(e):
    return [TIT1(encoding=e, text="Group"), TOPE(encoding=e, text="Original"),
            TYER(encoding=e, text="1999"), COMM(encoding=e, lang="eng", desc="", text="Zoë ✓" if e else "Zoë")]


for version in (3, 4):
    for encoding in ((0, 1) if version == 3 else (0, 1, 2, 3)):
        mutagen_tag(f"v2{version}_full_enc{encoding}", version, encoding, full)
        mutagen_tag(f"v2{version}_fallback_enc{encoding}", version, encoding, fallback)


def several_comments(e):
    return [TIT2(encoding=e, text="Song"),
            COMM(encoding=e, lang="eng", desc="", text="~[ marks"),
            COMM(encoding=e, lang="eng", desc="iTunNORM", text=" 00000A1B 00000B2C"),
            COMM(encoding=e, lang="deu", desc="Anmerkung", text="Gr\u00fc\u00dfe")]


mutagen_tag("comm_several_v23", 3, 1, several_comments)
mutagen_tag("comm_several_v24", 4, 3, several_comments)


def long_texts(e):
    return [TIT2(encoding=e, text="t" * 300), TPE1(encoding=e, text="a" * 140),
            COMM(encoding=e, lang="eng", desc="", text="~")]


# Some taggers write 2.4 tags with plain frame sizes: a 2.3 tag with its version byte set to 4.
mutagen_tag("v24_plain_sizes_long", 3, 0, long_texts)
with open(os.path.join(out, "v24_plain_sizes_long"), "r+b") as f:
    f.seek(3)
    f.write(b"\x04")


def frame23(fid, body, f1=0, f2=0):
    return fid + struct.pack(">I", len(body)) + bytes([f1, f2]) + body


def frame24(fid, body, f1=0, f2=0):
    return fid + syncsafe(len(body)) + bytes([f1, f2]) + body


def frame22(fid, body):
    return fid + struct.pack(">I", len(body))[1:] + body


def tag(version, frames, flags=0, padding=8, size=None):
    body = frames + bytes(padding)
    return b"ID3" + bytes([version, 0, flags]) + syncsafe(len(body) if size is None else size) + body


save("v22_basic", tag(2, frame22(b"TT2", b"\x00Song") + frame22(b"TP1", b"\x00Band")
                     + frame22(b"COM", b"\x00engdesc\x00hello")
                     + frame22(b"PIC", b"\x00JPG\x03\x00\xff\xd8\xff") + frame22(b"TOR", b"\x001988"))
     + audio)
save("v22_utf16", tag(2, frame22(b"TT2", b"\x01\xff\xfeH\x00i\x00") + frame22(b"TRK", b"\x007")))
save("v23_unsync", tag(3, frame23(b"TIT2", b"\x00A\xff\x00B") + frame23(b"TPE1", b"\x00C"), flags=0x80))
save("v23_exthdr", tag(3, struct.pack(">I", 6) + bytes(6) + frame23(b"TIT2", b"\x00Ext"), flags=0x40))
save("v23_flags", tag(3, frame23(b"TIT2", b"\x00T") + frame23(b"PRIV", b"x\x00y", f1=0x80)
                      + frame23(b"TALB", b"\x00zz", f2=0x80) + frame23(b"GRP1", b"\x07g", f2=0x20)))
save("v23_bigsize", tag(3, frame23(b"TIT2", b"\x00T"), size=0x0FFFFFFF))
save("v23_frame_past_end", tag(3, frame23(b"TIT2", b"\x00T") + b"TPE1\x7f\xff\xff\xff\x00\x00\x00A"))
save("v23_odd_utf16", tag(3, frame23(b"TIT2", b"\x01\xff\xfeA\x00B") + frame23(b"TPE1", b"\x01\xfe\xff\x00C")))
save("v23_footer_flag", tag(3, frame23(b"TIT2", b"\x00F"), flags=0x10) + bytes(10))
save("v23_long_text", tag(3, frame23(b"TIT2", b"\x00" + b"L" * 599) + frame23(b"TPE1", b"\x00After")))
save("v24_flags", tag(4, frame24(b"TIT2", b"\x03Gr\xc3\xbc\xc3\x9fe", f2=0x01 | 0x02)
                      + frame24(b"TXXX", b"\x03d\x00\xc3\xa9", f2=0x40)
                      + frame24(b"TPE1", b"\x02\x00B\x00a")
                      + frame24(b"APIC", b"\x03image/png\x00\x03c\xc3\xa9\x00\x89PNG")
                      + frame24(b"TSOP", b"\x00sort") + frame24(b"PRIV", b"x\x00\xff\x00", f2=0x02)))
save("v24_unsync_tag", tag(4, frame24(b"TIT2", b"\x00\xff\x00\xe9"), flags=0x80))
save("v24_exthdr_footer", tag(4, syncsafe(6) + b"\x01\x00" + frame24(b"TIT2", b"\x00X"), flags=0x50,
                              padding=0) + b"3DI\x04\x00\x50" + syncsafe(20))
# A 2.4 tag that flags an extended header it does not have: the frames start where it would.
save("v24_exthdr_flag_missing", tag(4, frame24(b"TIT2", b"\x00Flagged") + frame24(b"TPE1", b"\x00Band"),
                                    flags=0x40))
save("v24_plain_size", tag(4, b"TIT2\x00\x00\x00\x85\x00\x00\x00" + b"a" * 132))
save("v24_plain_then_syncsafe", tag(4, frame23(b"TIT2", b"\x00" + b"t" * 300) + frame24(b"TPE1", b"\x00Band")))
save("comm_itunes_last", tag(3, frame23(b"COMM", b"\x00eng\x00~[") + frame23(b"COMM", b"\x00deu" + b"note\x00hello")
                             + frame23(b"COMM", b"\x00engiTunNORM\x00 0A 0B")))
# Play lists of older stations: Latin-1 and Windows-1252 paths, a byte-order mark inside a line.
save("list_latin1", b"F/music/Montr\xe9al - Caf\xe9.mp3\r\nT/m/\x93Q\x94 - \x96.mp3\r\n\xe9/x\xef\xbb\xbfy\n")
save("v25_unknown", tag(5, frame23(b"TIT2", b"\x00T")))
save("no_tag", audio)
save("short", b"ID3\x03\x00")
save("genre_track", tag(3, frame23(b"TCON", b"\x00(1)(2)Rock (Live)") + frame23(b"TRCK", b"\x0099999")
                        + frame23(b"TCON", b"\x00((x)")))
save("comm_no_terminator", tag(3, frame23(b"COMM", b"\x00engplain") + frame23(b"WXXX", b"\x01\xff\xfed\x00\x00\x00http://x")))
save("bad_encoding", tag(3, frame23(b"TIT2", b"\x05bad") + frame23(b"TPE1", b"")))
print(len(os.listdir(out)), "seeds", file=sys.stderr)
