#!/usr/bin/env python3
"""splicor-cli's JSON listings, read with Python's json and checked against ffprobe -of json.

    json_check.py SPLICOR_CLI MEDIA_DIR CORPUS_DIR

Where the two describe the same thing they must agree: the audio and video streams with their
codecs, sizes, rates and channels; the file's size, duration and text tags; every sample's size
per stream; the key-frame times. The text and JSON forms must hold the same facts.
"""
import json
import os
import subprocess
import sys

cli, media_dir, corpus_dir = sys.argv[1:4]

# Files whose samples both readers see alike (the others are explained in the C++ reading
# tests: DRM, a cut-off last object, a screen codec whose parser marks every picture a key).
CORPUS = ["wcs__smooth.wmv", "wcs__seattle.wmv", "mphq__elephant.asf",
          "wpftest__red2SecondsGreen30.wmv", "moon__ElephantsDream.en_fr.wmv",
          "moon__embedded-script-commands.wmv", "wcs__house.wma", "wcs__multilang.wma"]
# ffprobe's names for the attributes it renames.
TAG_NAMES = {"title": "Title", "artist": "Author", "copyright": "Copyright",
             "comment": "Description"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def ours(command, path):
    return json.loads(run([cli, command, "--json", path]))


def ffprobe(path, *entries):
    return json.loads(run(["ffprobe", "-v", "error", *entries, "-of", "json", path]))


def same_stream(mine, theirs):
    if theirs["codec_type"] == "video":
        return (mine["type"] == "video" and mine["fourcc"] == theirs["codec_tag_string"]
                and mine["width"] == theirs["width"] and abs(mine["height"]) == theirs["height"])
    return (mine["type"] == "audio" and int(mine["format_tag"], 16) == int(theirs["codec_tag"], 16)
            and mine["sample_rate"] == int(theirs["sample_rate"])
            and mine["channels"] == theirs["channels"])


def check_info(path, name):
    info = ours("info", path)
    probe = ffprobe(path, "-show_streams", "-show_format")
    fmt = probe["format"]
    check(info["size"] == int(fmt["size"]), f"{name}: size {info['size']} vs {fmt['size']}")
    # ffprobe's duration runs to the end of the last packet it estimates (an audio packet's
    # length past the header's), so only a gross difference (a preroll left in) is a fault.
    if "duration" in fmt:
        check(abs(info["duration_seconds"] - float(fmt["duration"])) < 0.5,
              f"{name}: duration {info['duration_seconds']} vs {fmt['duration']}")
    check(info["duration_seconds"] == info["duration_hns"] / 1e7, f"{name}: seconds vs hns")
    media_streams = [s for s in info["streams"] if s["type"] in ("audio", "video")]
    theirs = [s for s in probe["streams"] if s["codec_type"] in ("audio", "video")]
    check(len(media_streams) == len(theirs),
          f"{name}: {len(media_streams)} streams vs ffprobe's {len(theirs)}")
    unmatched = list(media_streams)
    for stream in theirs:
        match = next((m for m in unmatched if same_stream(m, stream)), None)
        check(match is not None, f"{name}: no stream of ours like ffprobe's {stream['index']}")
        if match:
            unmatched.remove(match)
    attributes = {a["name"]: a for a in info["attributes"] if a["stream"] == 0}
    compared = 0
    for tag, value in fmt.get("tags", {}).items():
        attribute = attributes.get(TAG_NAMES.get(tag, tag))
        if attribute and attribute["type"] == "STRING":
            check(attribute["value"] == value, f"{name}: {tag} {attribute['value']!r} vs {value!r}")
            compared += 1
    # The text form names the same attributes with the same types.
    text = run([cli, "info", path])
    for a in info["attributes"]:
        check(f"[{a['stream']}] {a['name']} = {a['type']}" in text,
              f"{name}: attribute {a['name']} missing from the text form")
    return compared


def check_packets(path, name):
    samples = ours("packets", path)["samples"]
    text = run([cli, "packets", path]).splitlines()
    check(len(text) == len(samples), f"{name}: {len(text)} text lines vs {len(samples)} samples")
    for line, s in zip(text, samples):
        fields = line.split()
        expected = [str(s["stream"]), str(s["time_hns"]), str(s["duration_hns"]),
                    "1" if s["cleanpoint"] else "0", str(s["size"]), s["md5"]]
        if fields != expected:
            check(False, f"{name}: text {fields} vs JSON {expected}")
            break
    mine = {}
    for s in samples:
        mine.setdefault(s["stream"], []).append(s["size"])
    theirs = {}
    for p in ffprobe(path, "-show_entries", "packet=stream_index,size")["packets"]:
        theirs.setdefault(p["stream_index"], []).append(int(p["size"]))
    check(sorted(mine.values()) == sorted(theirs.values()),
          f"{name}: sample sizes per stream differ from ffprobe's")


def check_keyframes(path, name, info):
    videos = [i for i, s in enumerate(ffprobe(path, "-show_streams")["streams"])
              if s["codec_type"] == "video"]
    if not videos:
        return
    keys = ours("keyframes", path)
    times = [float(p["pts_time"] if p.get("pts_time", "N/A") != "N/A" else p["dts_time"])
             for p in ffprobe(path, "-select_streams", str(videos[-1]), "-show_entries",
                              "packet=pts_time,dts_time,flags")["packets"]
             if "K" in p["flags"]]
    frames = keys["keyframes"]
    check(len(frames) == len(times), f"{name}: {len(frames)} key frames vs ffprobe's {len(times)}")
    for i, (frame, time) in enumerate(zip(frames, times)):
        check(frame["index"] == i and frame["seconds"] == frame["time_hns"] / 1e7,
              f"{name}: key frame {i} numbered or converted wrongly")
        check(abs(frame["seconds"] - time) <= 0.001,
              f"{name}: key frame {i} at {frame['seconds']} s vs ffprobe's {time}")
    check([str(f["time_hns"]) for f in frames] == run([cli, "keyframes", path]).split(),
          f"{name}: text and JSON key frames differ")
    check(keys["stream"] == [s for s in info["streams"] if s["type"] == "video"][-1]["number"],
          f"{name}: key frames of another stream than the last video stream")


files = sorted(os.path.join(media_dir, f) for f in os.listdir(media_dir)
               if f.endswith((".wmv", ".wma", ".asf")) and f != "long.wmv")
files += [os.path.join(corpus_dir, f) for f in CORPUS
          if os.path.exists(os.path.join(corpus_dir, f))]
tags = 0
for path in files:
    name = os.path.basename(path)
    tags += check_info(path, name)
    check_packets(path, name)
    check_keyframes(path, name, ours("info", path))

# A file the reader refuses: no JSON on standard output, a failure status.
refused = subprocess.run([cli, "packets", "--json", os.path.join(corpus_dir, "fate__wmv_drm.wmv")],
                         capture_output=True, text=True)
if os.path.exists(os.path.join(corpus_dir, "fate__wmv_drm.wmv")):
    check(refused.returncode == 1 and refused.stdout == "", "a refused file printed JSON")

check(len(files) >= 8, f"only {len(files)} files compared")
print(f"{len(files)} files, {tags} tags compared")
for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
