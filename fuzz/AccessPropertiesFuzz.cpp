// Fuzz target: any bytes as the properties Access keeps for a table
// (MSysObjects' LvProp, the first byte choosing Jet 3's or Jet 4's form), and
// every text property found, and the input itself, as a column's validation
// rule checked against a few amounts. A damaged value must fail, never read
// outside its bytes; a rule is understood or refused, never half-read.
#include "FuzzSupport.h"

#include "platform/access/AccessProperties.h"
#include "platform/access/AccessRule.h"

#include <limits>

namespace {

void tryRule(const std::string& text)
{
    using namespace tarvex;
    Result<AccessRule> rule = AccessRule::parse(text, "cost");
    if (!rule.ok())
        return;
    for (std::optional<double> value :
         {std::optional<double>(), std::optional<double>(0.0), std::optional<double>(-1.5),
          std::optional<double>(1e300), std::optional<double>(std::numeric_limits<double>::quiet_NaN())})
        (void)rule->allows(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tarvex;
    if (size == 0)
        return 0;
    const JetFormat& format = (data[0] & 1) != 0 ? kJet3Format : kJet4Format;
    std::string stored(reinterpret_cast<const char*>(data) + 1, size - 1);
    tryRule(stored);
    Result<std::vector<AccessPropertyBlock>> blocks = accessProperties(stored, format, 1252);
    if (!blocks.ok())
        return 0;
    for (const AccessPropertyBlock& block : *blocks)
        for (const AccessProperty& property : block.properties)
            tryRule(property.value);
    return 0;
}
