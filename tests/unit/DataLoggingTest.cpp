// The text forms of the CAN traffic log: column headers, BUSMASTER header and closing block, and
// every time, identifier and data format that changes a frame line. Expected lines are written out
// by hand from the format rules; times are read in UTC so that they do not depend on the machine.
// (The interoperable form is read back by tshark in TrafficLogTest.)
#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <regex>
#include <string>
#include <unistd.h>

#include "Clock.h"
#include "DataLogging.h"
#include "LogCapture.h"
#include "Frames.h"
#include "QCANDevice.h"
#include "ScopedEnv.h"
#include "TestAdapter.h"
#include "TextFiles.h"

using namespace Sensors;

namespace {

// 3 May 2016 14:07:09.045 UTC
const unsigned long long T0 = 1462284429045ULL;

RxCANFrameT frameOf(uint32_t id, bool ext, std::initializer_list<uint8_t> data, unsigned long long time = T0)
{
    return {frame(id, data, ext), time, 0, 7, false};
}

class DataLoggingFormat : public ::testing::Test {
protected:
    void SetUp() override
    {
        tzset();
        char dir[] = "/tmp/qcan_logfmt_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        folder = dir;
    }
    void TearDown() override
    {
        std::system(("rm -rf " + folder).c_str());
        utc.reset();
        tzset();
    }
    std::unique_ptr<ScopedEnv> utc = std::make_unique<ScopedEnv>("TZ", "UTC");
    // Lines written by a logger without a device: it writes no header and queues what it is given;
    // destruction writes the queue and, in the BUSMASTER forms, the closing block.
    std::string linesOf(const DataLoggingOptions& options, const std::vector<RxCANFrameT>& frames)
    {
        const std::string path = folder + "/lines.log";
        {
            DataLogging logger(nullptr, wxString::FromUTF8(path.c_str()), options);
            for (RxCANFrameT f : frames)
                logger.appendMsg(&f);
        }
        return TextFiles::read(path);
    }
    std::string folder;
};

DataLoggingOptions optionsOf(ETimeStampFormat t, ECanIdFormat id, ECanDataFormat data, const char* sep, bool header)
{
    return {t, id, data, wxString::FromUTF8(sep), CANIDTYPE_ALL, header};
}

}  // namespace

TEST_F(DataLoggingFormat, BusmasterFrameLinesAndClosingBlock)
{
    const std::string text = linesOf(optionsOf(TIMESTAMP_TIME, CANID_FORMAT_HEX, CANDATA_FORMAT_HEX, " ", true),
                                     {frameOf(0x1F5, true, {1, 2, 3, 4, 5, 6, 7, 8}), frameOf(0x123, false, {}),
                                      frameOf(0x7FF, false, {0xAB}, T0 + 1955)});
    // DLC 0: the separator after the DLC ends the line. No digits after the END time's last colon.
    EXPECT_TRUE(std::regex_match(text, std::regex("14:07:09:045 Rx 7 0x1F5 x 8 01 02 03 04 05 06 07 08\n"
                                                  "14:07:09:045 Rx 7 0x123 s 0 \n"
                                                  "14:07:11:000 Rx 7 0x7FF s 1 AB\n"
                                                  R"(\*\*\*END DATE AND TIME \d\d:\d\d:\d{4} \d\d:\d\d:\d\d:\*\*\*\n)"
                                                  R"(\*\*\*\[STOP LOGGING SESSION\]\*\*\*\n)")))
        << text;
}

TEST_F(DataLoggingFormat, TableLinesForEveryTimeIdAndDataFormat)
{
    // Date and time, decimal identifier and bytes, any separator; no trailer in the table form.
    EXPECT_EQ(linesOf(optionsOf(TIMESTAMP_DATE_TIME, CANID_FORMAT_DEC, CANDATA_FORMAT_DEC, ";", false),
                      {frameOf(0x1F5, true, {0, 10, 255})}),
              "2016-05-03T14:07:09:045;7;501;3;0;10;255\n");
    // No time: the line begins with the separator. Maker fields of the identifier.
    EXPECT_EQ(linesOf(optionsOf(TIMESTAMP_NONE, CANID_FORMAT_QUILLARD, CANDATA_FORMAT_HEX, ",", false),
                      {frameOf(makerId(5, 3, 16, 2), true, {0x0A})}),
              ",7,5,3,16,2,1,0A\n");
    // INT16: little-endian pairs; an odd DLC drops the last byte and adds one separator.
    EXPECT_EQ(linesOf(optionsOf(TIMESTAMP_TIME, CANID_FORMAT_HEX, CANDATA_FORMAT_INT16, "\t", false),
                      {frameOf(0x123, false, {0xFF, 0x7F, 0xFF, 0xFF, 0x99}), frameOf(0x123, false, {0x01}),
                       frameOf(0x123, false, {0x00, 0x80, 0x01, 0x00})}),
              "14:07:09:045\t7\t0x123\t5\t32767\t-1\t\n"
              "14:07:09:045\t7\t0x123\t1\t\t\n"
              "14:07:09:045\t7\t0x123\t4\t-32768\t1\n");
    // REAL16: the same pairs times 2^-15.
    EXPECT_EQ(linesOf(optionsOf(TIMESTAMP_TIME, CANID_FORMAT_HEX, CANDATA_FORMAT_REAL16, " ", false),
                      {frameOf(0x10, false, {0x00, 0x40, 0xFF, 0xFF})}),
              "14:07:09:045 7 0x10 4 0.500000 -0.000031\n");
    // A DLC above 8 writes at most the eight bytes the record holds.
    RxCANFrameT big = frameOf(0x1, false, {1, 2, 3, 4, 5, 6, 7, 8});
    big.frame.header.dlc = 12;
    EXPECT_EQ(linesOf(optionsOf(TIMESTAMP_NONE, CANID_FORMAT_HEX, CANDATA_FORMAT_HEX, " ", false), {big}),
              " 7 0x1 12 01 02 03 04 05 06 07 08\n");
}

TEST_F(DataLoggingFormat, ColumnHeaderOfTheTableForm)
{
    QCANDevice device(2, wxT("QU0042"));
    const struct { ETimeStampFormat t; ECanIdFormat id; ECanDataFormat data; const char* sep, *header; } cases[] = {
        {TIMESTAMP_DATE_TIME, CANID_FORMAT_HEX, CANDATA_FORMAT_HEX, ";",
         "Time[YYYY-MM-ddTHH:mm:ss:ms];CUAID;MsgID[Hex];DLC;Data0[Hex];Data1[Hex];Data2[Hex];Data3[Hex];Data4[Hex];"
         "Data5[Hex];Data6[Hex];Data7[Hex]\n"},
        {TIMESTAMP_TIME, CANID_FORMAT_DEC, CANDATA_FORMAT_DEC, ",",
         "Time[HH:mm:ss:ms],CUAID,MsgID[Dec],DLC,Data0[Dec],Data1[Dec],Data2[Dec],Data3[Dec],Data4[Dec],Data5[Dec],"
         "Data6[Dec],Data7[Dec]\n"},
        {TIMESTAMP_NONE, CANID_FORMAT_QUILLARD, CANDATA_FORMAT_INT16, " ",
         " CUAID Command Command DeviceType DeviceNumber DLC Data0[INT16] Data1[INT16] Data2[INT16] Data3[INT16]\n"},
        {TIMESTAMP_TIME, CANID_FORMAT_HEX, CANDATA_FORMAT_REAL16, ";",
         "Time[HH:mm:ss:ms];CUAID;MsgID[Hex];DLC;Data0[REAL16];Data1[REAL16];Data2[REAL16];Data3[REAL16]\n"},
    };
    const std::string path = folder + "/table.log";
    for (const auto& c : cases) {
        DataLogging(&device, wxString::FromUTF8(path.c_str()), c.t, c.id, c.data, wxString::FromUTF8(c.sep),
                    CANIDTYPE_EXTENDED, false);
        EXPECT_EQ(TextFiles::read(path), c.header);
    }
}

TEST_F(DataLoggingFormat, BusmasterHeadersOfBothVariants)
{
    TestAdapter a("DUMMY1", 3);
    ASSERT_TRUE(a.connect());
    const unsigned long long now = Clock::wallMs();  // the clock stands still while the test runs
    const std::string path = folder + "/bm.log";
    // Decimal identifiers give DEC even with hexadecimal data.
    std::unique_ptr<DataLogging> logger(new DataLogging(a.device(), wxString::FromUTF8(path.c_str()), TIMESTAMP_TIME,
                                                        CANID_FORMAT_DEC, CANDATA_FORMAT_HEX, wxT(" "), CANIDTYPE_ALL,
                                                        true));
    EXPECT_EQ(logger->getDescription(), wxT("3 bm.log"));
    logger.reset();
    const std::string time = TextFiles::timeText(now, "%d:%m:%Y %H:%M:%S", true);
    EXPECT_EQ(TextFiles::read(path),
              "***BUSMASTER Ver 1.8.0***\n***PROTOCOL CAN***\n***NOTE: PLEASE DO NOT EDIT THIS DOCUMENT***\n"
              "***NOTE: CREATED WITH QUILLARD DATALOGGER***\n***START DATE AND TIME " + time + ":0000***\n"
              "***DEC***\n***SYSTEM MODE***\n***START CHANNEL BAUD RATE***\n"
              "***CHANNEL 3 - DUMMY1 - 0h - 250000 bps***\n***END CHANNEL BAUD RATE***\n"
              "***<Time><Tx/Rx><Channel><CAN ID><Type><DLC><DataBytes>***\n"
              "***END DATE AND TIME " + time + ":***\n***[STOP LOGGING SESSION]***\n");

    // The description takes the file name after the last separator of either kind.
    DataLogging windowsPath(nullptr, wxString::FromUTF8((folder + "/C:\\logs\\can_0503.log").c_str()), {});
    EXPECT_EQ(windowsPath.getDescription(), wxT("0 can_0503.log"));
}
