#!/usr/bin/env python3
"""Cuts mutated copies of a file and checks that every cut that succeeds wrote a good file.

mutation_run.py CLI SOURCE COUNT SEED [KEEP_DIR]

Each copy has a few bytes changed in the header, a few in the packets, or is cut short; a
few more carry damage placed on purpose in each stream's properties. A cut
must either fail cleanly (exit 1 or 2) or exit 0 with an output that FFmpeg and GStreamer demux
without a word. Decoder complaints are allowed only where FFmpeg decodes the mutated source with
complaints too (damaged sample bytes copied as they are). A crash, a hang, a bad output or a
decoder complaint the source does not give fails the run; KEEP_DIR receives those copies.
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile


def run(args, timeout=60):
    try:
        return subprocess.run(args, capture_output=True, text=True, errors='replace',
                              timeout=timeout)
    except subprocess.TimeoutExpired:
        return None


def demux_complaint(path):
    probe = run(['ffprobe', '-v', 'error', path])
    copy = run(['ffmpeg', '-nostdin', '-v', 'error', '-i', path, '-map', '0', '-c', 'copy',
                '-f', 'null', '-'])
    # One sink: a second branch would wait for ever on an output that kept one stream.
    gst = run(['gst-launch-1.0', '-q', 'filesrc', 'location=' + path, '!', 'asfdemux', '!',
               'fakesink'], timeout=30)
    for name, r in (('ffprobe', probe), ('ffmpeg demux', copy), ('gstreamer', gst)):
        if r is None:
            return name + ': timeout'
        text = (r.stderr + (r.stdout if name == 'gstreamer' else '')).strip()
        if r.returncode != 0 or text:
            return '%s: %s' % (name, text.splitlines()[0] if text else 'rc %d' % r.returncode)
    return None


def decode_complaint(path):
    r = run(['ffmpeg', '-nostdin', '-v', 'error', '-i', path, '-map', '0', '-f', 'null', '-'])
    return 'timeout' if r is None else (r.stderr.strip() or None)


def mutate(rnd, data, header_size):
    b = bytearray(data)
    kind = rnd.choice(['header', 'header', 'packets', 'truncate'])
    if kind == 'header':
        for _ in range(rnd.randint(1, 4)):
            b[rnd.randrange(30, header_size)] = rnd.randrange(256)
    elif kind == 'packets':
        for _ in range(rnd.randint(1, 8)):
            b[rnd.randrange(header_size, len(b))] = rnd.randrange(256)
    else:
        b = b[:rnd.randrange(header_size // 2, len(b))]
    return kind, bytes(b)


STREAM_PROPERTIES = bytes.fromhex('9107DCB7B7A9CF118EE600C00C205365')


def targeted(data, header_size):
    """Damage found by earlier runs, placed on purpose in each Stream Properties Object."""
    at = data.find(STREAM_PROPERTIES, 30, header_size)
    while at != -1:
        for name, offset, value in (('size beyond the header', at + 21, 0x40),
                                    ('unknown stream type', at + 24 + 13, 0x5A),
                                    ('unknown error correction', at + 40 + 13, 0x5A),
                                    ('format block overstated', at + 78 + 11 + 1, 0xD4)):
            b = bytearray(data)
            b[offset] = value
            yield 'targeted: %s at %d' % (name, at), bytes(b)
        at = data.find(STREAM_PROPERTIES, at + 16, header_size)


def main():
    cli, source, count, seed = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
    keep = sys.argv[5] if len(sys.argv) > 5 else None
    rnd = random.Random(seed)
    data = open(source, 'rb').read()
    header_size = int.from_bytes(data[16:24], 'little')
    work = tempfile.mkdtemp(prefix='splicor-mutation-')
    stats = dict(refused=0, good=0, decoder_as_source=0, bad=0, crash=0)
    failures = []
    try:
        cases = list(targeted(data, header_size)) + [None] * count
        for i, case in enumerate(cases):
            kind, b = case or mutate(rnd, data, header_size)
            src = os.path.join(work, 'src.wmv')
            out = os.path.join(work, 'out.wmv')
            with open(src, 'wb') as f:
                f.write(b)
            if os.path.exists(out):
                os.remove(out)
            r = run([cli, 'cut', src, out, '0-1000'])
            problem = None
            if r is None:
                stats['crash'] += 1
                problem = 'cut: timeout'
            elif r.returncode not in (0, 1, 2):
                stats['crash'] += 1
                problem = 'cut: rc %d %s' % (r.returncode, r.stderr.strip()[-200:])
            elif r.returncode != 0:
                stats['refused'] += 1
            else:
                problem = demux_complaint(out)
                if problem is None:
                    complaint = decode_complaint(out)
                    if complaint is None:
                        stats['good'] += 1
                    elif decode_complaint(src) is not None:
                        stats['decoder_as_source'] += 1
                    else:
                        problem = 'decoder, source clean: ' + complaint.splitlines()[0]
                if problem is not None:
                    stats['bad'] += 1
            if problem is not None:
                failures.append((i, kind, problem))
                if keep:
                    os.makedirs(keep, exist_ok=True)
                    shutil.copyfile(src, os.path.join(keep, 'mutant-%d-%d.wmv' % (seed, i)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(' '.join('%s=%d' % kv for kv in stats.items()))
    for i, kind, problem in failures[:20]:
        print('mutant %d (%s): %s' % (i, kind, problem[:300]))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
