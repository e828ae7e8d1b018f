#pragma once

#include <span>

// The translations' context of the shipped catalogue's format names.
inline constexpr const char* kFormatNameContext = "Catalogue";

// The format names of the catalogue Calvera ships (resources/command), in its
// order, where lupdate finds them for the translations. The catalogue stays
// plain XML; scripts/translations.sh update writes ShippedFormatNames.cpp
// from it, and its check fails while the two differ.
std::span<const char* const> shippedFormatNames();
