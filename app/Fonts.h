#pragma once

// The windows' texts ask for "Trebuchet MS"; where it is missing, Open Sans
// (which scripts/bootstrap.sh installs) stands in, the same on every machine,
// so that what the pixel tests read does not depend on the fonts installed.
void installFontFallbacks();
