// Filling the parameter record from a configuration tree.
#include "registry/parameter_reader.h"

#include <algorithm>

#include "registry/registry.h"

namespace Valdrin {

void readParameters(const QLightXMLIO& tree, QEAParameters& parameters) {
    std::vector<XmlNode> names;
    std::vector<XmlNode> values;
    tree.collectByName("name", names);
    tree.collectByName("value", values);
    const std::size_t pairs = std::min(names.size(), values.size());
    for (std::size_t i = 0; i < pairs; ++i) {
        if (const KeyRow* key = findKey(names[i].text)) key->apply(parameters, values[i].text);
    }
}

}  // namespace Valdrin
