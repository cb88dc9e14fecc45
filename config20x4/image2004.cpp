// The 20x4 image builder lands here.
