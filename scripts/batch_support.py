#!/usr/bin/python3
"""Inputs and checks for the batch scripts (batch_kills.sh, batch_shards.sh, batch_tree.sh and
bench/batch_scale.sh). Debian's /usr/bin/python3 has Pillow.

  make ROOT MANIFEST [--files N] [--broken N] [--seed S] [--depth D] [--extras LINKED_DIR] [--loop]
      Writes N pictures (JPEG, PNG, GIF, BMP of 64x48 to 160x120; N - broken readable) in a tree of
      D levels under ROOT, and MANIFEST: one record per file. Every picture carries its index as a
      stamp of 8x8 black and white blocks in its top-left corner, so no two files hold the same
      pixels and an output written under the wrong name shows. Every name in the tree is unique,
      stems included. --extras adds "notes.txt" files (not pictures) and the symbolic link
      "ROOT/Linked Folder" to LINKED_DIR, filled with pictures of its own; --loop adds a link from a
      folder to its parent.
  photos ROOT COUNT --size WxH [--seed S]
      COUNT JPEGs of one size (varied content, stamped when the size allows) in folders of 1,000.
  log LOG --manifest M --root IN --out OUT [--ext png] [--once] [--follow] [--readable done|failed]
      [--reason RE] [--include PAT]... [--exclude PAT]...
      Checks a --log file against the tree: every line a JSON object with the fields of a record;
      every readable input has exactly one "done" line (--readable failed: no "done" line, failed
      lines whose reason matches RE) whose output exists with the logged size at its mirrored path;
      every broken input has failed lines with a reason and no "done" line; nothing else is named.
      --once: exactly one line per input. --include and --exclude (also for tree) take the inputs
      as the walk with these patterns takes them.
  count M [--include PAT]... [--exclude PAT]...
      Prints the numbers of readable and of broken inputs a walk with these patterns takes.
  tree OUT --manifest M [--ext png] [--follow] [--flat] [--pixels IN]
      The files under OUT are exactly the outputs of the readable inputs (at the mirrored path, or
      under the stem alone with --flat). --pixels: each output holds the pixels of its input (exactly
      for PNG, GIF and BMP inputs; for JPEG inputs the size, the stamp and a mean difference below
      16: the fast DCT and the reference decoder differ by up to about 7 on busy textures).
  same A B
      Both trees hold the same files (no other entries but folders) with the same bytes.
  shards --manifest M --root IN LOG...
      Each readable input was converted by exactly one of the shards' logs; no shard is empty or
      larger than its share (the input count divided by the shard count, rounded up).
Each command prints what it checked, or the failures (at most 20) and exits 1.
"""
import argparse
import fnmatch
import io
import json
import math
import os
import random
import re
import sys

from PIL import Image, ImageFilter

FORMATS = ("jpeg", "png", "gif", "bmp")
EXTENSIONS = {"jpeg": ".jpg", "png": ".png", "gif": ".gif", "bmp": ".bmp"}
# Extensions in other cases and spellings the walk must take too.
ODD_EXTENSIONS = {"jpeg": (".JPG", ".jpeg", ".Jpg", ".JPEG"), "png": (".PNG", ".Png"), "gif": (".GIF", ".Gif"),
                  "bmp": (".BMP", ".Bmp")}
FOLDERS = (("alpha", "Beta Photos", "gamma", "Delta 2"), ("2019", "2020 summer", "misc"), ("raw", "Final picks"))
STEMS = ("img_{:05d}", "Photo {:05d}", "scan-{:05d}", "pic {:05d} copy")
LINK_NAME = "Linked Folder"


class Failures:
    def __init__(self, what):
        self.what, self.items = what, []

    def add(self, message):
        self.items.append(message)

    def finish(self, summary):
        if self.items:
            for message in self.items[:20]:
                print(f"FAIL {self.what}: {message}", file=sys.stderr)
            if len(self.items) > 20:
                print(f"FAIL {self.what}: ... and {len(self.items) - 20} more", file=sys.stderr)
            sys.exit(1)
        print(f"ok   {self.what}: {summary}")


# --- Making pictures -------------------------------------------------------------------------------

def base_picture(rng, width, height):
    """An RGB picture of three channels of different textures: fractal, gradient, blurred noise."""
    def channel(kind):
        if kind == 0:
            x0, y0 = rng.uniform(-2.2, -0.5), rng.uniform(-1.3, 0.0)
            span = rng.uniform(0.3, 2.5)
            return Image.effect_mandelbrot((width, height), (x0, y0, x0 + span, y0 + span * height / width), 64)
        if kind == 1:
            gradient = Image.linear_gradient("L") if rng.random() < 0.5 else Image.radial_gradient("L")
            return gradient.rotate(rng.uniform(0, 360)).resize((width, height))
        return Image.effect_noise((width, height), rng.uniform(20, 90)).filter(ImageFilter.GaussianBlur(rng.uniform(0, 3)))
    kinds = [0, 1, 2]
    rng.shuffle(kinds)
    return Image.merge("RGB", [channel(k) for k in kinds])


def stamp(picture, index):
    """Writes the 16 low bits of index as 8x8 blocks (two rows of eight) at the top-left corner."""
    if picture.mode == "P":
        # The palette's darkest and brightest entries stand for black and white.
        palette = picture.getpalette()[: 3 * 256]
        light = [sum(palette[i:i + 3]) for i in range(0, len(palette), 3)]
        used = [c for _, c in picture.getcolors(256)]
        dark = min(used, key=lambda c: light[c])
        bright = max(used, key=lambda c: light[c])
        colours = (dark, bright)
    elif picture.mode == "L":
        colours = (0, 255)
    else:
        colours = ((0, 0, 0), (255, 255, 255))
    for bit in range(16):
        x, y = (bit % 8) * 8, (bit // 8) * 8
        picture.paste(colours[(index >> bit) & 1], (x, y, x + 8, y + 8))


def read_stamp(picture):
    gray = picture.convert("L")
    value = 0
    for bit in range(16):
        x, y = (bit % 8) * 8, (bit // 8) * 8
        block = gray.crop((x + 2, y + 2, x + 6, y + 6))
        if sum(block.getdata()) / 16 > 128:
            value |= 1 << bit
    return value


def encode(picture, fmt, rng):
    data = io.BytesIO()
    if fmt == "jpeg":
        picture.save(data, "JPEG", quality=rng.choice((70, 85, 95)))
    elif fmt == "gif":
        picture.save(data, "GIF")
    else:
        picture.save(data, fmt.upper())
    return data.getvalue()


class Maker:
    """Pictures of a few dozen base textures, each file stamped with its own index."""

    def __init__(self, seed, bases=36):
        self.rng = random.Random(seed)
        self.bases = []
        for _ in range(bases):
            width, height = self.rng.randrange(64, 161), self.rng.randrange(48, 121)
            rgb = base_picture(self.rng, width, height)
            self.bases.append({"RGB": rgb, "L": rgb.convert("L"),
                               "P": rgb.convert("P", palette=Image.Palette.ADAPTIVE, colors=self.rng.choice((16, 64, 256)))})

    def picture(self, index, fmt):
        """The bytes of picture index in format fmt, and its size."""
        base = self.bases[index % len(self.bases)]
        mode = {"jpeg": ("RGB", "RGB", "L"), "png": ("RGB", "L", "P"), "gif": ("P",), "bmp": ("RGB", "P")}[fmt]
        picture = base[mode[(index // len(self.bases)) % len(mode)]].copy()
        stamp(picture, index)
        return encode(picture, fmt, self.rng), picture.size

    def broken(self, index):
        """A file that no loader can read, of one of five kinds, its name's format and the kind."""
        kind = index % 5
        if kind == 0:  # a JPEG cut inside its header
            data, _ = self.picture(index, "jpeg")
            return data[: self.rng.randrange(100, 300)], "jpeg", "jpeg cut in its header"
        if kind == 1:
            return b"This is a text file, not a picture.\n", "png", "text named .png"
        if kind == 2:
            data, _ = self.picture(index, "png")
            return data[: len(data) // 2], "png", "png cut in half"
        if kind == 3:
            data, _ = self.picture(index, "gif")
            return data[: len(data) // 2], "gif", "gif cut in half"
        return b"", "jpeg", "empty jpeg"


def name_for(index, fmt):
    stem = STEMS[(index // len(FORMATS)) % len(STEMS)].format(index)
    if index % 5 == 3:
        extension = ODD_EXTENSIONS[fmt][(index // 5) % len(ODD_EXTENSIONS[fmt])]
    else:
        extension = EXTENSIONS[fmt]
    return stem + extension


def folder_for(rng, depth):
    levels = rng.randrange(0, depth + 1)
    return os.path.join(*[rng.choice(FOLDERS[level]) for level in range(levels)]) if levels else ""


def write_file(root, rel, data):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def command_make(args):
    maker = Maker(args.seed)
    rng = random.Random(args.seed + 1)
    broken = set(rng.sample(range(args.files), args.broken)) if args.broken else set()
    records = []
    os.makedirs(args.root, exist_ok=True)

    def add(root, index, rel_prefix="", via_link=False):
        if index in broken:
            data, fmt, kind = maker.broken(index)
            record = {"kind": "broken", "why": kind}
        else:
            fmt = FORMATS[index % len(FORMATS)]
            data, (width, height) = maker.picture(index, fmt)
            record = {"kind": "image", "format": fmt, "width": width, "height": height, "stamp": index & 0xFFFF}
        rel = os.path.join(folder_for(rng, args.depth), name_for(index, fmt))
        write_file(root, rel, data)
        record.update(rel=os.path.join(rel_prefix, rel), bytes=len(data), via_link=via_link)
        records.append(record)

    for index in range(args.files):
        add(args.root, index)
    if args.extras:
        notes = b"Notes: not a picture; the walk leaves it alone.\n"
        for rel in ("notes.txt", os.path.join(FOLDERS[0][1], "notes.txt")):
            write_file(args.root, rel, notes)
            records.append({"kind": "ignored", "rel": rel, "bytes": len(notes), "via_link": False})
        os.makedirs(args.extras, exist_ok=True)
        for index in range(args.files, args.files + 6):
            add(args.extras, index, LINK_NAME, True)
        os.symlink(os.path.relpath(args.extras, args.root), os.path.join(args.root, LINK_NAME))
    if args.loop:
        folder = os.path.join(args.root, FOLDERS[0][0])
        os.makedirs(folder, exist_ok=True)
        os.symlink("..", os.path.join(folder, "back up"))
    with open(args.manifest, "w") as f:
        json.dump(records, f, indent=0)
    counts = {}
    for record in records:
        counts[record["kind"]] = counts.get(record["kind"], 0) + 1
    print(f"made {len(records)} files under {args.root}: " + ", ".join(f"{n} {k}" for k, n in sorted(counts.items())))


def command_photos(args):
    rng = random.Random(args.seed)
    width, height = (int(v) for v in args.size.split("x"))
    # Pictures big enough for the stamp are textures with it; smaller ones are random pixels.
    stamped = width >= 64 and height >= 16
    bases = [base_picture(rng, width, height) for _ in range(24)] if stamped else []
    for index in range(args.count):
        if stamped:
            picture = bases[index % len(bases)].copy()
            stamp(picture, index)
        else:
            picture = Image.frombytes("RGB", (width, height), rng.randbytes(width * height * 3))
        write_file(args.root, os.path.join(f"{index // 1000:03d}", f"photo{index:05d}.jpg"), encode(picture, "jpeg", rng))
    print(f"made {args.count} {width}x{height} JPEGs under {args.root}")


# --- Checks ----------------------------------------------------------------------------------------

def matches(pattern, rel):
    """A --include or --exclude pattern against a file or folder: its name, or its relative path when
    the pattern has a '/'; case ignored. (The checks use patterns that mean the same whether '*'
    crosses '/' or not.)"""
    target = rel if "/" in pattern else os.path.basename(rel)
    return fnmatch.fnmatchcase(target.lower(), pattern.lower())


def load_manifest(path, follow, includes=(), excludes=()):
    """The records of the inputs the walk sees; those a --include (in place of the readable
    extensions) or --exclude (of the file or one of its folders) leaves out become "ignored"."""
    records = [r for r in json.load(open(path)) if follow or not r["via_link"]]
    for record in records:
        rel = record["rel"]
        taken = any(matches(p, rel) for p in includes) if includes else record["kind"] != "ignored"
        folders = [os.path.dirname(rel)]
        while os.path.dirname(folders[-1]):
            folders.append(os.path.dirname(folders[-1]))
        if any(matches(p, path) for p in excludes for path in [rel] + [f for f in folders if f]):
            taken = False
        if not taken:
            record["kind"] = "ignored"
    return records


def output_rel(rel, ext, flat=False):
    stem = os.path.splitext(os.path.basename(rel) if flat else rel)[0]
    return stem + "." + ext.lstrip(".")


def relative_to(value, root):
    """The path a log names, relative to root: it may be absolute, relative to the current folder,
    or relative to root already. None when it lies outside root."""
    root = os.path.abspath(root)
    for candidate in ((value,) if os.path.isabs(value) else (os.path.abspath(value), os.path.join(root, value))):
        candidate = os.path.normpath(candidate)
        if candidate.startswith(root + os.sep) and os.path.lexists(candidate):
            return os.path.relpath(candidate, root)
    return None


def read_log(path, failures):
    """The records of a --log file; a line that is not a JSON object with the fields is a failure."""
    records = []
    with open(path, "rb") as f:
        data = f.read()
    if data and not data.endswith(b"\n"):
        failures.add(f"{path} does not end with a newline (a line cut short?)")
    for number, line in enumerate(data.split(b"\n"), 1):
        if not line:
            continue
        try:
            record = json.loads(line.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as error:
            failures.add(f"{path}:{number}: not a JSON line ({error}): {line[:120]!r}")
            continue
        if not isinstance(record, dict):
            failures.add(f"{path}:{number}: not a JSON object: {line[:120]!r}")
            continue
        problems = []
        if not isinstance(record.get("input"), str):
            problems.append("no input")
        if record.get("status") not in ("done", "failed"):
            problems.append(f"status {record.get('status')!r}")
        for field in ("input_bytes", "ms") + (("output_bytes",) if record.get("status") == "done" else ()):
            value = record.get(field)
            if not isinstance(value, (int, float)) or isinstance(value, bool) or value < 0:
                problems.append(f"{field} {value!r}")
        if record.get("status") == "done" and not isinstance(record.get("output"), str):
            problems.append("no output")
        if record.get("status") == "failed" and not (isinstance(record.get("reason"), str) and record["reason"].strip()):
            problems.append("failed without a reason")
        if problems:
            failures.add(f"{path}:{number}: " + ", ".join(problems) + f": {line[:160]!r}")
            continue
        record["line"] = number
        records.append(record)
    return records


def command_log(args):
    failures = Failures(f"log {os.path.basename(args.log)}")
    records = load_manifest(args.manifest, args.follow, args.include, args.exclude)
    by_rel = {r["rel"]: r for r in records}
    lines = {rel: [] for rel in by_rel}
    entries = read_log(args.log, failures)
    for entry in entries:
        rel = relative_to(entry["input"], args.root)
        if rel not in by_rel:
            failures.add(f"line {entry['line']} names {entry['input']!r}, which is no input of the tree")
            continue
        lines[rel].append(entry)
    reason = re.compile(args.reason) if args.reason else None
    done = failed = 0
    for rel, record in by_rel.items():
        got = lines[rel]
        statuses = [e["status"] for e in got]
        done += statuses.count("done")
        failed += statuses.count("failed")
        if record["kind"] == "ignored":
            if got:
                failures.add(f"{rel} is not a picture, yet the log has {len(got)} lines for it")
            continue
        if args.once and len(got) != 1:
            failures.add(f"{rel}: {len(got)} lines (one expected): {statuses}")
            continue
        for entry in got:
            if entry["input_bytes"] != record["bytes"]:
                failures.add(f"{rel}: input_bytes {entry['input_bytes']}, the file has {record['bytes']}")
        if record["kind"] == "broken" or args.readable == "failed":
            if "done" in statuses or not got:
                failures.add(f"{rel} ({record.get('why', 'readable')}): statuses {statuses}, only failed expected")
            if record["kind"] == "image" and reason:
                for entry in got:
                    if not reason.search(entry.get("reason", "")):
                        failures.add(f"{rel}: reason {entry.get('reason')!r} does not match /{args.reason}/")
            continue
        if statuses.count("done") != 1:
            failures.add(f"{rel}: {statuses.count('done')} done lines (one expected): {statuses}")
            continue
        entry = next(e for e in got if e["status"] == "done")
        expected = os.path.join(os.path.abspath(args.out), output_rel(rel, args.ext))
        named = entry["output"]
        named_abs = os.path.normpath(named if os.path.isabs(named) else os.path.abspath(named))
        if named_abs != expected and os.path.normpath(os.path.join(os.path.abspath(args.out), named)) != expected:
            failures.add(f"{rel}: output {named!r}, expected {expected!r}")
        elif not os.path.isfile(expected):
            failures.add(f"{rel}: logged done, but {expected} is missing")
        elif os.path.getsize(expected) != entry["output_bytes"]:
            failures.add(f"{rel}: output_bytes {entry['output_bytes']}, the output has {os.path.getsize(expected)}")
    failures.finish(f"{len(entries)} lines ({done} done, {failed} failed) for {len(by_rel)} files, as expected")


def command_tree(args):
    failures = Failures(f"tree {os.path.basename(os.path.normpath(args.out))}")
    records = load_manifest(args.manifest, args.follow, args.include, args.exclude)
    expected = {output_rel(r["rel"], args.ext, args.flat): r for r in records if r["kind"] == "image"}
    actual = set()
    for folder, dirs, files in os.walk(args.out):
        for name in files + [d for d in dirs if os.path.islink(os.path.join(folder, d))]:
            actual.add(os.path.relpath(os.path.join(folder, name), args.out))
    for rel in sorted(set(expected) - actual):
        failures.add(f"missing output {rel}")
    for rel in sorted(actual - set(expected)):
        failures.add(f"unexpected file {rel}")
    checked = 0
    if args.pixels and not failures.items:
        for rel, record in sorted(expected.items()):
            problem = compare_pixels(os.path.join(args.pixels, record["rel"]), os.path.join(args.out, rel), record)
            if problem:
                failures.add(f"{rel}: {problem}")
            checked += 1
    failures.finish(f"{len(actual)} outputs, one per readable input" + (f", pixels of {checked} checked" if checked else ""))


def compare_pixels(source, output, record):
    try:
        got = Image.open(output)
        got.load()
    except Exception as error:  # any decoding failure of the output is the finding
        return f"does not decode ({error})"
    if got.size != (record["width"], record["height"]):
        return f"size {got.size}, input {record['width']}x{record['height']}"
    want = Image.open(source).convert("RGB")
    got = got.convert("RGB")
    if record["format"] != "jpeg":
        if got.tobytes() != want.tobytes():
            return "pixels differ from the input's"
        return None
    if read_stamp(got) != record["stamp"]:
        return f"stamp {read_stamp(got)}, expected {record['stamp']} (another file's picture?)"
    a, b = got.tobytes(), want.tobytes()
    mean = sum(abs(x - y) for x, y in zip(a, b)) / len(a)
    return f"mean difference {mean:.2f} from the input's decoded pixels" if mean >= 16 else None


def tree_files(root, failures):
    files = {}
    for folder, dirs, names in os.walk(root):
        for name in names + [d for d in dirs if os.path.islink(os.path.join(folder, d))]:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if os.path.islink(path) or not os.path.isfile(path):
                failures.add(f"{root}: {rel} is not a regular file")
            else:
                files[rel] = path
    return files


def command_same(args):
    failures = Failures(f"same {os.path.basename(os.path.normpath(args.b))}")
    a, b = tree_files(args.a, failures), tree_files(args.b, failures)
    for rel in sorted(set(a) - set(b)):
        failures.add(f"{rel} is missing from {args.b}")
    for rel in sorted(set(b) - set(a)):
        failures.add(f"{rel} in {args.b} is not in {args.a}")
    for rel in sorted(set(a) & set(b)):
        with open(a[rel], "rb") as fa, open(b[rel], "rb") as fb:
            if fa.read() != fb.read():
                failures.add(f"{rel} differs")
    failures.finish(f"{len(b)} files, byte for byte those of {args.a}")


def command_shards(args):
    failures = Failures("shards")
    records = [r for r in load_manifest(args.manifest, False) if r["kind"] == "image"]
    owners = {r["rel"]: [] for r in records}
    share = math.ceil(len(records) / len(args.logs))
    sizes = []
    for shard, log in enumerate(args.logs, 1):
        inputs = set()
        for entry in read_log(log, failures):
            rel = relative_to(entry["input"], args.root)
            if rel not in owners:
                failures.add(f"shard {shard} names {entry['input']!r}, which is no picture of the tree")
            elif entry["status"] != "done":
                failures.add(f"shard {shard} failed {rel}: {entry.get('reason')}")
            else:
                inputs.add(rel)
        for rel in inputs:
            owners[rel].append(shard)
        sizes.append(len(inputs))
        if not inputs or len(inputs) > share:
            failures.add(f"shard {shard} converted {len(inputs)} files (1 to {share} expected)")
    for rel, shards in sorted(owners.items()):
        if len(shards) != 1:
            failures.add(f"{rel} converted by shards {shards}")
    failures.finish(f"{len(records)} inputs, each converted by exactly one shard (shard sizes {sizes})")


def command_count(args):
    records = load_manifest(args.manifest, False, args.include, args.exclude)
    print(sum(r["kind"] == "image" for r in records), sum(r["kind"] == "broken" for r in records))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    make = commands.add_parser("make")
    make.add_argument("root")
    make.add_argument("manifest")
    make.add_argument("--files", type=int, default=300)
    make.add_argument("--broken", type=int, default=0)
    make.add_argument("--seed", type=int, default=1)
    make.add_argument("--depth", type=int, default=3)
    make.add_argument("--extras")
    make.add_argument("--loop", action="store_true")
    photos = commands.add_parser("photos")
    photos.add_argument("root")
    photos.add_argument("count", type=int)
    photos.add_argument("--size", default="320x240")
    photos.add_argument("--seed", type=int, default=1)
    log = commands.add_parser("log")
    log.add_argument("log")
    tree = commands.add_parser("tree")
    tree.add_argument("out")
    for sub in (log, tree):
        sub.add_argument("--manifest", required=True)
        sub.add_argument("--ext", default="png")
        sub.add_argument("--follow", action="store_true")
        sub.add_argument("--include", action="append", default=[])
        sub.add_argument("--exclude", action="append", default=[])
    log.add_argument("--root", required=True)
    log.add_argument("--out", required=True)
    log.add_argument("--once", action="store_true")
    log.add_argument("--readable", choices=("done", "failed"), default="done")
    log.add_argument("--reason")
    tree.add_argument("--flat", action="store_true")
    tree.add_argument("--pixels")
    same = commands.add_parser("same")
    same.add_argument("a")
    same.add_argument("b")
    count = commands.add_parser("count")
    count.add_argument("manifest")
    count.add_argument("--include", action="append", default=[])
    count.add_argument("--exclude", action="append", default=[])
    shards = commands.add_parser("shards")
    shards.add_argument("--manifest", required=True)
    shards.add_argument("--root", required=True)
    shards.add_argument("logs", nargs="+")
    args = parser.parse_args()
    {"make": command_make, "photos": command_photos, "log": command_log, "tree": command_tree, "same": command_same,
     "shards": command_shards, "count": command_count}[args.command](args)


if __name__ == "__main__":
    main()
