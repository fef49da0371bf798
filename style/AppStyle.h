#pragma once

// Gives the whole application its dark Fusion look: style, palette and tool-tip style sheet.
void ApplyAppStyle();
