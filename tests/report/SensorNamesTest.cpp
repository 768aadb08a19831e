// How the views number and name a tested sensor: by its place in the order the instrument's test
// records list it, counted from 1, and by its gas; a record that lists only some sensors moves
// none of the others.
#include "report/SensorNames.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SensorNames, EachSensorIsNumberedByItsPlaceInTheRecordsOrder) {
    enum : int { kLel = 0, kO2 = 3, kCo = 4, kH2s = 5 };
    const struct {
        const char* what;
        std::vector<std::vector<int>> records; // the gas codes each test record lists, in order
        std::vector<int> gases;                // the order learnt, by gas code
    } cases[] = {
        {"a zero of all four, then a calibration of two",
         {{kLel, kO2, kCo, kH2s}, {kLel, kCo}},
         {kLel, kO2, kCo, kH2s}},
        {"the calibration of two first: the others go between and after",
         {{kLel, kCo}, {kLel, kO2, kCo, kH2s}},
         {kLel, kO2, kCo, kH2s}},
        {"a bump test without O2, then a field calibration of LEL and O2",
         {{kLel, kCo, kH2s}, {kLel, kO2}},
         {kLel, kO2, kCo, kH2s}},
        {"a sensor with none before it goes before the next one known",
         {{kCo, kH2s}, {kO2, kCo}},
         {kO2, kCo, kH2s}},
        {"sensors of unrelated records in the order first seen", {{kCo}, {kLel}}, {kCo, kLel}},
        {"a gas code beyond the table is a sensor like any", {{kLel, 200}}, {kLel, 200}},
        {"no record, no sensor", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SensorOrder order;
        for (const std::vector<int>& record : c.records) {
            order.Add(record);
        }
        EXPECT_EQ(order.Gases(), c.gases);
        ASSERT_EQ(order.Count(), c.gases.size());
        for (size_t k = 0; k < c.gases.size(); ++k) {
            EXPECT_EQ(order.Number(c.gases[k]), static_cast<int>(k) + 1);
        }
        EXPECT_EQ(order.Number(kLel + 1), 0) << "a gas no record lists has no number";
    }
}

// Two sensors of one gas are two sensors: the second of that gas in a record is the second one.
TEST(SensorNames, TwoSensorsOfOneGasKeepTheirOwnNumbers) {
    SensorOrder order;
    order.Add(std::vector<int>{0, 4, 4, 5});
    order.Add(std::vector<int>{4, 5});
    std::vector<SensorValue> record(3);
    record[0].Code = 4;
    record[1].Code = 0;
    record[2].Code = 4;
    EXPECT_EQ(order.Numbers(record), (std::vector<int>{2, 1, 3}));
    EXPECT_EQ(order.Gases(), (std::vector<int>{0, 4, 5}));
    EXPECT_EQ(order.Count(), 4u);
}

TEST(SensorNames, AGasIsNamedAsTheReportsHeadingsNameIt) {
    const struct {
        unsigned code;
        const char* name;
    } cases[] = {{0, "LEL"},     {3, "O2"},      {4, "CO"},       {5, "H2S"},
                 {13, "Gas 13"}, {16, "gas 16"}, {200, "gas 200"}};
    for (const auto& c : cases) {
        EXPECT_EQ(SensorGasName(c.code), c.name) << c.code;
    }
}

} // namespace
