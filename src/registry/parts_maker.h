// RegistryPartsMaker: makes an algorithm's populations and operators from the registry's rows.
#pragma once

#include "algorithms/parts.h"

namespace Valdrin {

class RegistryPartsMaker final : public PartsMaker {
public:
    // An identifier without a row, or an operator that does not apply to the encoding, ends the
    // experiment with a message naming what could not be made.
    AlgorithmParts make(const QEAParameters& params) const override;
};

}  // namespace Valdrin
