# Makes the av_probe fuzzer's seeds of MP4 files that claim more frames than they hold:
#   python3 claim_frames_mp4.py IN OUT CLAIM [keep]
# rewrites the video track's sample table of the small MP4 IN so that it claims CLAIM samples
# of one byte each in one chunk (stts, stsc, stsz replaced; everything else kept); with "keep"
# the first byte of IN (the fuzzer's extension byte) is kept in front.
import struct, sys
CONTAINERS = {b'moov', b'trak', b'mdia', b'minf', b'stbl', b'dinf', b'edts'}
def boxes(data):
    i = 0
    while i + 8 <= len(data):
        size, kind = struct.unpack('>I4s', data[i:i+8])
        yield kind, data[i+8:i+size]
        i += size
def build(kind, body):
    return struct.pack('>I4s', len(body) + 8, kind) + body
def rewrite(data, claim, video):
    out = b''
    for kind, body in boxes(data):
        if kind == b'trak':
            video = b'vide' in body  # the handler type of a video track
        if kind in CONTAINERS:
            body = rewrite(body, claim, video)
        elif video and kind == b'stts':
            delta = struct.unpack('>I', body[12:16])[0]
            body = struct.pack('>IIII', 0, 1, claim, delta)
        elif video and kind == b'stsc':
            body = struct.pack('>IIIII', 0, 1, 1, claim, 1)
        elif video and kind == b'stsz':
            body = struct.pack('>III', 0, 1, claim)
        out += build(kind, body)
    return out
src, dst, claim = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = open(src, 'rb').read()
prefix = data[:1] if len(sys.argv) > 4 else b''
data = data[1:] if prefix else data
open(dst, 'wb').write(prefix + rewrite(data, claim, False))
