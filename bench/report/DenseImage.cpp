#include "DenseImage.h"

#include "recbuild/RecordBuilder.h"

#include <memory>

namespace {

using R = RecordBuilder;

// A cycle of records of every type and the versions in use, stamped one after another.
std::vector<uint8_t> DenseSession(uint32_t start) {
    const GpsFix fix = GpsFix::At(true, 5130, 1234, false, 123, 4567, 2);
    std::vector<uint8_t> stream;
    size_t storedSize = 0;
    uint32_t stamp = start;
    int cycle = 0;
    for (;;) {
        std::vector<std::vector<uint8_t>> records;
        auto add = [&records](const R& record) { records.push_back(record.Bytes()); };
        const int16_t v = static_cast<int16_t>(cycle * 7);
        add(R::Stamped('O', '1', stamp++).Chars("GAS", 3).Chars("JS", 4));
        add(R::Unstamped('U', '1').Chars("J Smith", 16));
        add(R::Stamped('J', '1', stamp++).Text("W/O 1234").Byte(0));
        add(R::FreeText("Gas smell\r\nat meter"));
        add(R::Stamped('I', '1', stamp++));
        add(R::Stamped('p', '1', stamp++).Byte('1'));
        add(R::Stamped('z', '1', stamp++));
        add(R::Stamped('D', '1', stamp++).Chars("PPM", 3));
        add(R::Stamped('D', '2', stamp++).Byte(2));
        add(R::Stamped('W', '3', stamp++).S16(v).Gps(fix));
        add(R::Stamped('W', '1', stamp++).S16(v).Byte(0));
        for (int i = 0; i < 3; ++i) {
            add(R::Stamped('L', '4', stamp++)
                    .Byte('1')
                    .Reading(0, v)
                    .Reading(3, 209)
                    .Reading(4, 3)
                    .Reading(5, 0)
                    .Byte(0xFF)
                    .S16(1)
                    .S16(2)
                    .S16(3)
                    .S16(4)
                    .S16(5));
            add(R::Stamped('L', '2', stamp++).Reading(0, v).Reading(4, 3).Byte(0xFF).Gps(fix));
        }
        add(R::Stamped('M', '2', stamp++)
                .Byte(3)
                .Byte(1)
                .Byte(1)
                .Reading(0, 25)
                .Reading(4, 30)
                .Byte(0xFE));
        add(R::Stamped('M', '4', stamp++)
                .Byte('2')
                .Reading(1, 10)
                .Reading(1, 20)
                .Byte(0xFF)
                .Gps(fix));
        add(R::Stamped('A', '2', stamp++)
                .Byte(4)
                .Reading(0, 35)
                .Reading(4, 210)
                .Byte(0xFF)
                .Gps(fix));
        add(R::Stamped('S', '1', stamp++).Byte(0x07));
        add(R::Stamped('C', '1', stamp++)
                .SensorValues(0, 1000, 2000)
                .SensorValues(4, 5, 6)
                .Byte(0xFF));
        add(R::Stamped('C', '2', stamp++)
                .SensorResult(0, 1, 500, 20)
                .SensorResult(4, 2, 100, 3)
                .Byte(0xFF));
        add(R::Stamped('Z', '2', stamp++).SensorResult(3, 1, 209, 0).Byte(0xFF));
        add(R::Stamped('B', '2', stamp++).BumpResult(4, 1, 98).BumpResult(5, 3, 0).Byte(0xFF));
        add(R::Stamped('F', '1', stamp++).SensorValues(1, 1000, 4990).Byte(0xFF));
        add(R::Barhole('4', stamp++, 7, 260, 'G', 120, 'G')
                .Bytes({0, 0, 0})
                .Bytes(std::vector<uint8_t>(15, 40))
                .Gps(fix));
        add(R::Barhole('5', stamp++, 8, 45, 'L', 60, 'L').Byte(0).Gps(fix));
        add(R::Stamped('G', '1', stamp++).Bytes(std::vector<uint8_t>(20, 9)));
        add(R::Stamped('P', '2', stamp++).Byte('X').S16(12));
        add(R::Stamped('P', '1', stamp++).Byte('G').S16(950));
        add(R::Stamped('Y', '1', stamp++));
        for (const auto& record : records) {
            const size_t stored = EscapeForFlash(record).size();
            // The stored stream has to stay inside the slot's own sector.
            if (stream.size() + record.size() > kBenchSessionBytes ||
                storedSize + stored > LogImage::kSectorSize) {
                return stream;
            }
            stream.insert(stream.end(), record.begin(), record.end());
            storedSize += stored;
        }
        ++cycle;
    }
}

} // namespace

Image& FullImage(double& recordBytes) {
    static std::unique_ptr<Image> image;
    static double average = 0;
    if (!image) {
        image = std::make_unique<Image>();
        size_t total = 0;
        for (int slot = 0; slot < kBenchSlots; ++slot) {
            const std::vector<uint8_t> stream =
                DenseSession(700000000u + static_cast<uint32_t>(slot) * 5003u);
            const std::vector<uint8_t> stored = EscapeForFlash(stream);
            image->Store(LogImage::DataSector(static_cast<int16_t>(slot)) * LogImage::kSectorSize,
                         stored.data(), static_cast<uint32_t>(stored.size()));
            total += stream.size();
        }
        average = static_cast<double>(total) / kBenchSlots;
    }
    recordBytes = average;
    return *image;
}
