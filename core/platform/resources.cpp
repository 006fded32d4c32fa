#include "platform/resources.h"

namespace kivo {

std::span<const unsigned char> EmbeddedResources::Find(int id) const
{
    for (std::size_t i = 0; i < kEmbeddedResourceCount; ++i)
        if (kEmbeddedResources[i].id == id)
            return {kEmbeddedResources[i].data, kEmbeddedResources[i].size};
    return {};
}

} // namespace kivo
