// Filling the parameter record from a configuration tree, by the registry's key rows.
#pragma once

#include "config/light_xml.h"
#include "core/parameters.h"

namespace Valdrin {

// Reads the "name"/"value" pairs of the tree into the record. Names and values pair by
// position; a name left without a value, an unknown key and an unknown word change nothing.
void readParameters(const QLightXMLIO& tree, QEAParameters& parameters);

}  // namespace Valdrin
