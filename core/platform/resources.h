#pragma once
#include <cstddef>
#include <span>

namespace kivo {

struct EmbeddedResource {
    int id;
    const unsigned char *data;
    std::size_t size;
};

// Filled in at build time from resources/ (kivo_resources).
extern const EmbeddedResource kEmbeddedResources[];
extern const std::size_t kEmbeddedResourceCount;

class IResources
{
public:
    virtual ~IResources() = default;
    // The bytes of resource `id`, or an empty span when there is none.
    virtual std::span<const unsigned char> Find(int id) const = 0;
};

class EmbeddedResources : public IResources
{
public:
    std::span<const unsigned char> Find(int id) const override;
};

} // namespace kivo
