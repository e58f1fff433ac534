// QGene: one position of a chromosome seen through its encoding (abstract). The value
// encodings store their chromosomes as plain numbers and hand out genes as copies, so a gene
// object is only ever the currency of generic access (getGene, setGene, addGene), never storage.
#pragma once

#include <memory>

#include "core/identifiers.h"

namespace Valdrin {

class QGene {
public:
    virtual ~QGene() = default;
    virtual std::unique_ptr<QGene> clone() const = 0;
    virtual Encoding getEncoding() const = 0;
    virtual bool equalsTo(const QGene& other) const = 0;
    // Copies the other gene's contents when it has the same encoding: 1, else 0.
    virtual int assign(const QGene& other) = 0;

protected:
    QGene() = default;
    QGene(const QGene&) = default;
    QGene& operator=(const QGene&) = default;
};

}  // namespace Valdrin
