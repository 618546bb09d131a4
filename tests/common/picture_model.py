"""The 256 x 256 picture's placement, resampling axis and LINEAR window as
the viewer computes them, for the Python tests that compare pictures with
peers."""
import numpy as np

f32 = np.float32


def placement(columns, rows):
    """Where a columns x rows frame lands in the 256 x 256 picture: x, y, w, h."""
    if columns == rows:
        return 0, 0, 256, 256
    if columns > rows:
        h = max(2, (256 * rows + columns // 2) // columns)
        return 0, (256 - h) // 2, 256, h
    w = max(2, (256 * columns + rows // 2) // rows)
    return (256 - w) // 2, 0, w, 256


def axis(s, d):
    """Source positions and weights along one axis, as the viewer takes them."""
    r = f32(s - 1) / f32(d - 1)
    i = np.arange(d, dtype=np.float64)
    product = i * np.float64(r)
    f = product.astype(f32)
    if r > 1:
        p0 = np.trunc(product).astype(np.int64)
        p1 = np.trunc((i + 1) * np.float64(r)).astype(np.int64)
        p1 = np.where(p1 == p0, p0 + 1, p1)
    else:
        p0 = np.trunc(f).astype(np.int64)
        p1 = p0 + 1
    p0 = np.minimum(p0, s - 1)
    frac = (f - p0.astype(f32)).astype(np.float64)
    return p0, np.minimum(p1, s - 1), frac


def linear_window(values, level, width):
    """Modality values to gray levels through the LINEAR window, as the viewer
    has always windowed (level and width integers)."""
    lo = level - int(width / 2)
    hi = lo + width
    if hi <= lo:
        hi = lo + 2
    scale = f32(255) / f32(hi - lo)
    offset = -scale * f32(lo)
    index = np.clip(np.trunc(values * np.float64(scale) + np.float64(offset)), 0, 255)
    return np.where(values > hi, 255, np.where(values < lo, 0, index))
