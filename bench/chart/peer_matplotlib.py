#!/usr/bin/python3
"""The power-draw day graph drawn by matplotlib's Agg backend, for comparison.

usage: peer_matplotlib.py SAMPLES.json [OUT.png]
Same size (320 × 367 points at scale 2: 640 × 734 pixels), same elements: the
dark gradient frame, a 3-point green line over a green-to-clear gradient
area, grey grid, six-hour time labels, value labels and titles on the right.
Prints the drawing time per frame (canvas.draw) and the PNG encoding time
separately, measured inside the process after start-up."""
import json
import sys
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.patches import PathPatch  # noqa: E402
from matplotlib.path import Path  # noqa: E402

samples = json.load(open(sys.argv[1]))
midnight_ms = 1354752000000
x = np.array([(s["timestamp"] - midnight_ms) // 1000 for s in samples], dtype=float)
y = np.array([s["powerDraw"] for s in samples], dtype=float)
top = y.max() * 1.1 if y.max() else 5.0

fig = plt.figure(figsize=(320 / 72, 367 / 72), dpi=144)
background = fig.add_axes([0, 0, 1, 1], zorder=-2)
background.axis("off")
background.imshow(np.linspace(0.3, 0.1, 256).reshape(-1, 1), cmap="gray", vmin=0, vmax=1, aspect="auto",
                  extent=[0, 1, 0, 1])
ax = fig.add_axes([15 / 320, 45 / 367, 240 / 320, 307 / 367])
ax.set_facecolor("none")
ax.set_xlim(0, 86400)
ax.set_ylim(0, top)
ax.set_xticks([0, 21600, 43200, 64800, 86400])
ax.set_xticklabels(["12:00 AM", "6:00 AM", "12:00 PM", "6:00 PM", "12:00 AM"], color="white", fontsize=12)
ax.yaxis.tick_right()
ax.yaxis.set_label_position("right")
ax.tick_params(axis="y", colors="white", labelsize=12)
ax.set_ylabel("Watts", color="white", fontsize=14)
ax.set_xlabel("12/06/2012", color="white", fontsize=14)
ax.grid(True, color=(0.2, 0.2, 0.2, 0.75), linewidth=0.75)
for spine in ax.spines.values():
    spine.set_color((0.5, 0.5, 0.5))
    spine.set_linewidth(2)
# The gradient area: an image clipped to the polygon under the line.
gradient = np.zeros((256, 1, 4))
gradient[:, 0, 0], gradient[:, 0, 1], gradient[:, 0, 2] = 0.3, 1.0, 0.3
gradient[:, 0, 3] = np.linspace(0.8, 0.0, 256)
area = np.concatenate([[[x[0], 0]], np.column_stack([x, y]), [[x[-1], 0]]])
patch = PathPatch(Path(area), facecolor="none", edgecolor="none")
ax.add_patch(patch)
image = ax.imshow(gradient, aspect="auto", extent=[x.min(), x.max(), 0, y.max()], origin="upper")
image.set_clip_path(patch)
ax.plot(x, y, color=(0, 1, 0), linewidth=3, solid_joinstyle="miter")

canvas = fig.canvas
for _ in range(3):
    canvas.draw()
frames, start, cpu_start = 0, time.perf_counter(), time.thread_time()
while frames < 10 or (time.perf_counter() - start < 3 and frames < 200):
    canvas.draw()
    frames += 1
draw_ms = (time.perf_counter() - start) / frames * 1000
cpu_ms = (time.thread_time() - cpu_start) / frames * 1000
png_start = time.perf_counter()
out = sys.argv[2] if len(sys.argv) > 2 else "/dev/null"
fig.savefig(out, dpi=144, format="png")
png_ms = (time.perf_counter() - png_start) * 1000 - draw_ms
print(f"matplotlib  {len(x):6d} samples  draw {draw_ms:7.2f} ms/frame (cpu {cpu_ms:.2f}, {frames} frames)  "
      f"png {max(png_ms, 0):.2f} ms")
