#pragma once

// The forms ask for "Trebuchet MS" (and "MS Sans Serif"); where those are
// missing the project's one fallback, Open Sans, stands in, the same on
// every machine.
void installFontFallbacks();
