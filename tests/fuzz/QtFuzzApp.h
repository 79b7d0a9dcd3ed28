#pragma once

// Metafiles render through Qt SVG, which needs a QGuiApplication; the targets that draw pictures
// create one, on the offscreen platform, before the first input.
void EnsureGuiApplication();
