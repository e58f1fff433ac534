// QGene: one position of a chromosome (abstract).
#pragma once

#include <memory>

namespace Valdrin {

class QGene {
public:
    virtual ~QGene() = default;
    virtual std::unique_ptr<QGene> clone() const = 0;
    virtual int getEncoding() const = 0;
    virtual bool equalsTo(const QGene& other) const = 0;
    // Copies the other gene's contents when it has the same encoding: 1, else 0.
    virtual int assign(const QGene& other) = 0;

protected:
    QGene() = default;
    QGene(const QGene&) = default;
    QGene& operator=(const QGene&) = default;
};

}  // namespace Valdrin
