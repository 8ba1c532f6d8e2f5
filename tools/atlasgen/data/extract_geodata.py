#!/usr/bin/env python3
"""Extracts the compact geographic data the atlas generator reads.

Run once with Debian's gmt and gmt-gshhg-high installed:
    python3 extract_geodata.py > geodata.txt
The output holds the GSHHG shorelines (land outlines and lakes, pieces joined
into rings), rivers and national borders of the British Isles, simplified to
about 60 m and rounded to 1e-4 degree.
"""
import subprocess

REGION = (-12.0, 3.5, 48.3, 61.2)
TOLERANCE = 0.0006  # degrees; GSHHG "high" is about 200 m anyway


def gmt_segments(*options):
    region = "-R%g/%g/%g/%g" % REGION
    out = subprocess.run(["gmt", "coast", region, "-Dh", "-M", *options],
                         check=True, capture_output=True, text=True).stdout
    segments, current = [], None
    for line in out.splitlines():
        if line.startswith(">"):
            current = []
            segments.append(current)
        elif line.strip():
            lon, lat = map(float, line.split()[:2])
            current.append((lon, lat))
    return [s for s in segments if len(s) > 1]


def key(point):
    return (round(point[0], 4), round(point[1], 4))


def join_lines(chains):
    """GSHHG comes cut at its storage bins; join the pieces end to start."""
    merged = True
    while merged:
        merged = False
        for i, a in enumerate(chains):
            for j, b in enumerate(chains):
                if i != j and key(a[-1]) == key(b[0]):
                    a.extend(b[1:])
                    del chains[j]
                    merged = True
                    break
            if merged:
                break
    return chains


def join_pieces(pieces):
    rings, chains = [], []
    for piece in pieces:
        (rings if key(piece[0]) == key(piece[-1]) else chains).append(list(piece))
    for chain in join_lines(chains):
        if key(chain[0]) == key(chain[-1]):
            rings.append(chain)
        else:
            # A coast cut by the region's edge (the Continent): close it
            # round the south-east corner, where only France and the Low
            # Countries reach the edge.
            if abs(chain[-1][0] - REGION[1]) > 1e-6 and abs(chain[0][0] - REGION[1]) < 1e-6:
                chain.append((REGION[1], REGION[2]))
            chain.append(chain[0])
            rings.append(chain)
    return rings


def simplify(points, tolerance):
    """Douglas-Peucker, iterative."""
    if len(points) < 3:
        return points
    keep = [False] * len(points)
    keep[0] = keep[-1] = True
    stack = [(0, len(points) - 1)]
    while stack:
        first, last = stack.pop()
        (x1, y1), (x2, y2) = points[first], points[last]
        dx, dy = x2 - x1, y2 - y1
        norm = (dx * dx + dy * dy) ** 0.5
        best, index = -1.0, -1
        for i in range(first + 1, last):
            px, py = points[i]
            if norm == 0:
                d = ((px - x1) ** 2 + (py - y1) ** 2) ** 0.5
            else:
                d = abs(dy * (px - x1) - dx * (py - y1)) / norm
            if d > best:
                best, index = d, i
        if index >= 0 and best > tolerance:
            keep[index] = True
            stack += [(first, index), (index, last)]
    return [p for p, k in zip(points, keep) if k]


def emit(kind, level, points):
    points = simplify(points, TOLERANCE)
    if len(points) < 2:
        return
    print("%s %d %d" % (kind, level, len(points)))
    for lon, lat in points:
        print("%.4f %.4f" % (lon, lat))


def main():
    print("# GSHHG 2.3.7 (high resolution) extract for the British Isles; see LICENSE-GSHHG.txt")
    print("# Records: <kind> <level> <count>, then <count> lines of <lon> <lat> (degrees)")
    print("# kinds: land (outline ring), lake (ring), river (line; level 1 double-lined .. 4 minor), border (line)")
    for ring in join_pieces(gmt_segments("-W1/0.5p", "-A0.5")):
        emit("land", 1, ring)
    for ring in join_pieces(gmt_segments("-W2/0.5p", "-A0.5")):
        emit("lake", 2, ring)
    for level in (1, 2, 3, 4):
        for line in join_lines([list(s) for s in gmt_segments("-I%d" % level)]):
            emit("river", level, line)
    for line in gmt_segments("-N1"):
        emit("border", 1, line)


if __name__ == "__main__":
    main()
