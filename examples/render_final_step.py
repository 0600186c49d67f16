"""Picture of a result's final time step: head as colour, velocity arrows.

Run with ParaView's pvbatch after kova2vtk has written the collection. Debian's
ParaView renders through X, so without a display run it under xvfb-run:
    xvfb-run -a pvbatch examples/render_final_step.py \
        examples/out/vtk/result.pvd examples/final-step.png
"""
import sys

from paraview.simple import (ColorBy, CreateView, Glyph, GetColorTransferFunction, GetScalarBar,
                             OpenDataFile, SaveScreenshot, Show, Threshold)

pvd, png = sys.argv[1], sys.argv[2]
result = OpenDataFile(pvd)
final = result.TimestepValues[-1]

view = CreateView("RenderView")
view.ViewSize = [720, 600]
view.ViewTime = final
view.OrientationAxesVisibility = 0
view.Background = [1.0, 1.0, 1.0]
view.UseColorPaletteForBackground = 0

mesh = Show(result, view)
ColorBy(mesh, ("POINTS", "head"))
mesh.SetRepresentationType("Surface With Edges")
mesh.EdgeColor = [0.55, 0.55, 0.55]
head = GetColorTransferFunction("head")
head.ApplyPreset("Viridis (matplotlib)", True)
bar = GetScalarBar(head, view)
bar.Title = "head (m)"
bar.ComponentTitle = ""
bar.TitleColor = bar.LabelColor = [0.1, 0.1, 0.1]
bar.WindowLocation = "Any Location"
bar.Position = [0.86, 0.25]
bar.RangeLabelFormat = "%.1f"
mesh.SetScalarBarVisibility(view, True)

# Arrows of one length at the nodes where water moves, along the averaged
# velocity: the speed falls off so fast away from the well that arrows scaled
# by it would show nothing but the well.
xmin, xmax, _, _, _, _ = result.GetDataInformation().GetBounds()
nodes_per_row = round(result.GetDataInformation().GetNumberOfPoints() ** 0.5)
moving = Threshold(Input=result, Scalars=["POINTS", "speed"], LowerThreshold=1e-30,
                   UpperThreshold=1e30, AllScalars=1)
arrows = Glyph(Input=moving, GlyphType="Arrow")
arrows.OrientationArray = ["POINTS", "velocity"]
arrows.ScaleArray = ["POINTS", "No scale array"]
arrows.ScaleFactor = 0.8 * (xmax - xmin) / nodes_per_row
arrows.GlyphMode = "All Points"
shown = Show(arrows, view)
ColorBy(shown, None)
shown.AmbientColor = shown.DiffuseColor = [0.85, 0.15, 0.1]

view.ResetCamera()
view.CameraParallelProjection = 1
view.CameraParallelScale = 0.62 * (xmax - xmin)
SaveScreenshot(png, view, ImageResolution=[720, 600], CompressionLevel="9")
