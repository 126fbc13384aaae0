#!/usr/bin/env python3
"""Cuts mutated copies of a file and checks that every cut that succeeds wrote a good file.

mutation_run.py CLI SOURCE COUNT SEED [KEEP_DIR]

Each copy has a few bytes changed in the header, a few in the packets, or is cut short; a
few more carry damage placed on purpose in each stream's properties. A cut
must either fail cleanly (exit 1 or 2) or exit 0 with an output that FFmpeg and GStreamer demux
without a word, or with only the words the same tool says on the mutated source (times that go
back, copied as they are); an output a tool cannot open is always bad. Decoder complaints are
allowed only where FFmpeg decodes the mutated source with complaints too (damaged sample bytes
copied as they are). A crash, a hang, a bad output or a
decoder complaint the source does not give fails the run; KEEP_DIR receives those copies.
"""
import os
import random
import re
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


def normalised(text, path):
    """Complaint lines without what differs between a source and its cut: addresses, the file's
    name, times and sizes (stream numbers stay)."""
    text = text.replace(path, 'FILE')
    text = re.sub(r'@ 0x[0-9a-f]+', '@', text)
    return {re.sub(r'(?<!stream )\b\d+\b', 'N', line.strip()) for line in text.splitlines()
            if line.strip()}


def demux_complaints(path):
    """What FFmpeg and GStreamer say demuxing path: (tool, exit status, normalised lines) each,
    or a timeout's name."""
    probe = run(['ffprobe', '-v', 'error', path])
    copy = run(['ffmpeg', '-nostdin', '-v', 'error', '-i', path, '-map', '0', '-c', 'copy',
                '-f', 'null', '-'])
    # One sink: a second branch would wait for ever on an output that kept one stream.
    gst = run(['gst-launch-1.0', '-q', 'filesrc', 'location=' + path, '!', 'asfdemux', '!',
               'fakesink'], timeout=30)
    said = []
    for name, r in (('ffprobe', probe), ('ffmpeg demux', copy), ('gstreamer', gst)):
        if r is None:
            return name + ': timeout'
        said.append((name, r.returncode,
                     normalised(r.stderr + (r.stdout if name == 'gstreamer' else ''), path)))
    return said


def demux_problem(out, src):
    """None when FFmpeg and GStreamer read out without a word; 'as source' when they read it and
    their only complaints are ones the source draws from the same tool (its damage copied, such
    as times that go back); else the first complaint."""
    said = demux_complaints(out)
    if isinstance(said, str):
        return said
    if all(rc == 0 and not lines for _, rc, lines in said):
        return None
    of_source = demux_complaints(src)
    for i, (name, rc, lines) in enumerate(said):
        # An output a tool cannot open is bad, whatever the source does.
        if rc != 0:
            return '%s: rc %d %s' % (name, rc, sorted(lines)[:1])
        if lines and (isinstance(of_source, str) or not lines <= of_source[i][2]):
            return '%s: %s' % (name, sorted(lines)[0])
    return 'as source'


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
    stats = dict(refused=0, good=0, demux_as_source=0, decoder_as_source=0, bad=0, crash=0)
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
                problem = demux_problem(out, src)
                if problem == 'as source':
                    stats['demux_as_source'] += 1
                    problem = None
                elif problem is None:
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
