// libFuzzer target of the packet reader: any bytes either read or fail with Exception, and
// whatever reads is written and read back to the same packet.
#include "datapacket.h"
#include "exception.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const DataPacket packet = DataPacket::fromXml(bytes, QStringLiteral("fuzz"));
        const QByteArray written = packet.toXml();
        const DataPacket back = DataPacket::fromXml(written, QStringLiteral("written"));
        if (back.toXml() != written || back.fields() != packet.fields()
            || back.rowCount() != packet.rowCount())
            std::abort();
    } catch (const Exception &) {
        // a refused input is the expected outcome for most mutations
    }
    return 0;
}
