#!/usr/bin/env python3
"""Draws the window icon as an XPM text image: a film frame holding a 3x3
cube face. Run it to regenerate resources/framewright.xpm."""
import os

SIZE = 48
palette = {
    ' ': 'None',
    'k': '#202020',   # film
    'w': '#e8e8e8',   # perforations
    'g': '#101010',   # grid lines
    'y': '#f5d000', 'b': '#1e5bd8', 'o': '#ff7a00',
    'r': '#d01818', 'G': '#1aa34a', 'W': '#ffffff',
}
face = ['yby', 'oWr', 'Gyb']

img = [[' '] * SIZE for _ in range(SIZE)]
# Film strip body with rounded corners.
for y in range(2, SIZE - 2):
    for x in range(SIZE):
        corner = (x in (0, SIZE - 1)) and (y in (2, SIZE - 3))
        if not corner:
            img[y][x] = 'k'
# Perforations along the top and bottom edges.
for x0 in range(3, SIZE - 3, 7):
    for dx in range(4):
        for y in (4, 5, SIZE - 6, SIZE - 5):
            img[y][x0 + dx] = 'w'
# Cube face in the middle.
cell, gap = 10, 2
total = 3 * cell + 4 * gap
left = (SIZE - total) // 2
top = (SIZE - total) // 2
for y in range(top, top + total):
    for x in range(left, left + total):
        img[y][x] = 'g'
for row in range(3):
    for col in range(3):
        c = face[row][col]
        for y in range(cell):
            for x in range(cell):
                img[top + gap + row * (cell + gap) + y][left + gap + col * (cell + gap) + x] = c

lines = ['/* XPM */', 'static const char *framewright_icon[] = {',
         f'"{SIZE} {SIZE} {len(palette)} 1",']
lines += [f'"{k} c {v}",' for k, v in palette.items()]
lines += [f'"{"".join(r)}",' for r in img]
lines[-1] = lines[-1].rstrip(',')
lines.append('};')
out = os.path.join(os.path.dirname(__file__), '..', 'resources', 'framewright.xpm')
with open(out, 'w') as f:
    f.write('\n'.join(lines) + '\n')
