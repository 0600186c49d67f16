"""Drawdown against log time at three observation points of a pumping test.

Reads a result file with the kova module and plots, for each point, the
drawdown (the undisturbed head, which the fixed-head outer boundary keeps,
minus the head interpolated at the point) against the time on a log axis:
the picture a pumping-test analysis starts from. Run with Debian's Python,
which sees the installed module, numpy and matplotlib:
    /usr/bin/python3 examples/drawdown.py [RESULT_FILE [PICTURE.png]]
(default examples/out/result.bin, made by examples/demo.sh, and drawdown.png).
"""
import math
import sys

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt

import kova

path = sys.argv[1] if len(sys.argv) > 1 else "examples/out/result.bin"
picture = sys.argv[2] if len(sys.argv) > 2 else "drawdown.png"
points = [(75.0, 40.0), (250.0, -180.0), (-700.0, 650.0)]  # metres from the well

result = kova.open(path)
times, heads = result.series(at=points)
undisturbed = result.head(0)[result.codes == 1].mean()

fig, ax = plt.subplots(figsize=(7.2, 4.5), dpi=100)
for j, (x, y) in enumerate(points):
    ax.plot(times / 60.0, undisturbed - heads[:, j], marker="o", markersize=3,
            label=f"r = {math.hypot(x, y):.0f} m  ({x:g}, {y:g})")
ax.set_xscale("log")
ax.invert_yaxis()  # drawdown grows downwards, as on a field plot
ax.set_xlabel("time since pumping started [min]")
ax.set_ylabel("drawdown [m]")
ax.set_title(result.title)
ax.grid(True, which="both", linewidth=0.3)
ax.legend(title="observation point")
fig.tight_layout()
fig.savefig(picture)
print(f"{picture}: drawdown at {len(points)} points over {len(times)} steps")
