#include "CommandFormat.h"
#include "CurrentTest.h"
#include "DecimalText.h"
#include "Engine.h"

#include "metertalk/TestList.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int TextPartLimit = 16;

// Two writes, as the instrument expects: the body, then its checksum with CR LF.
void WriteCommand(CommsState& s, int length) {
    if (length <= 0)
        return;
    char* line = s.SendBuffer + length + 1;
    const int lineLength = FormatChecksumLine(line, BodyChecksum(s.SendBuffer, length));
    if (!s.Port)
        return;
    s.Port->Write(reinterpret_cast<const uint8_t*>(s.SendBuffer), length);
    s.Port->Write(reinterpret_cast<const uint8_t*>(line), lineLength);
}

unsigned int Byte(unsigned int value, int index) {
    return (value >> (8 * index)) & 0xffu;
}

// Addresses are built from the caller's sensor number and index and the driver text's lengths,
// any of which may be extreme: the arithmetic wraps, as only the low byte is sent.
unsigned int U(int value) {
    return static_cast<unsigned int>(value);
}

} // namespace

CurrentTest ReadCurrentTest(const CommsState& s) {
    CurrentTest t;
    if (s.TestList == nullptr)
        return t;
    const CTestList& list = *s.TestList;
    t.Number = DecimalOrZero(list.GetTestNumber().c_str());
    t.Type = list.GetTestType();
    t.NoBytes = list.GetNoBytes();
    t.PerSensor = list.GetTestSensor();
    t.SensorNumber = list.GetSensorNumber();
    t.InterfaceVersion = list.GetInterfaceVersion();
    return t;
}

int SendAsk(CommsState& s, CommsListener* listener, int index) {
    s.UploadMode = 0;
    s.AskIndex = index;
    s.QueuedIsSet = 0;
    if (s.ProgressDialog)
        s.ProgressDialog->Hide();

    const CurrentTest t = ReadCurrentTest(s);
    if (listener != nullptr) {
        s.AskBase = index;
        s.SensorStride = t.NoBytes;
        s.StringRemaining = t.NoBytes;
        // A new read fills the text from its start, even when an earlier read was cut short.
        s.StringPos = 0;
    }
    const unsigned int position = listener != nullptr ? U(index) : U(index) + U(s.AskBase);

    if (s.BusyTicks != 0) {
        if (listener != nullptr)
            s.QueuedListener = listener;
        return 0;
    }
    s.BusyTicks = RequestTicks;
    if (listener != nullptr)
        s.Listener = listener;
    s.PendingKind = PendingAsk;
    if (t.Number < 0) {
        s.BusyTicks = 0;
        return 0;
    }

    const unsigned int number = static_cast<unsigned int>(t.Number);
    const int textCount = std::min(s.StringRemaining, TextPartLimit);
    char command = 'R';
    unsigned int fields[3] = {number, position, static_cast<unsigned int>(t.NoBytes)};
    if (t.PerSensor != 0) {
        if (t.Type == KindByte) {
            fields[1] = U(t.SensorNumber) - 1u;
        } else if (t.Type == KindText) {
            command = 'T';
            fields[1] = (U(t.SensorNumber) - 1u) * U(s.SensorStride) + position;
            fields[2] = static_cast<unsigned int>(textCount);
        } else {
            fields[1] = 2u * U(t.SensorNumber) - 2u;
        }
    } else if (t.Type == KindText && t.InterfaceVersion >= 11) {
        command = 'T';
        fields[2] = static_cast<unsigned int>(textCount);
    }
    WriteCommand(s, FormatFieldBody(s.SendBuffer, sizeof s.SendBuffer, command, fields, 3));
    s.QueuedListener = nullptr;
    return 1;
}

int SendSetValue(CommsState& s, CommsListener* listener, unsigned int value) {
    s.FrameCount = 0;
    s.NewValue = static_cast<int32_t>(value);
    s.RetryValue = value;
    s.RetryText.Clear();

    if (s.BusyTicks != 0) {
        s.QueuedListener = listener;
        s.QueuedValue = value;
        s.QueuedText.Clear();
        s.QueuedIsSet = 1;
        return 0;
    }
    s.BusyTicks = RequestTicks;
    s.Listener = listener;
    s.PendingKind = PendingSet;
    // What is left of an abandoned text write must not follow this write's acknowledgement.
    s.ContinuationText.Clear();

    const CurrentTest t = ReadCurrentTest(s);
    // A non-zero write of the upload flag makes the instrument stream a memory area.
    if (value != 0 && t.Number == CTestList::UploadFlagNumber) {
        s.UploadMode = 2;
    } else {
        s.UploadMode = 0;
        if (t.Number < 0) {
            s.BusyTicks = 0;
            return 0;
        }
    }

    const unsigned int number = static_cast<unsigned int>(t.Number);
    const unsigned int b0 = Byte(value, 0), b1 = Byte(value, 1), b2 = Byte(value, 2),
                       b3 = Byte(value, 3);
    unsigned int fields[6] = {number, 0, 0, 0, 0, 0};
    int count = 4;
    if (t.PerSensor != 0) {
        if (t.Type == KindByte) {
            fields[1] = U(t.SensorNumber) - 1u;
            fields[2] = b0;
            count = 3;
        } else {
            fields[1] = 2u * U(t.SensorNumber) - 2u;
            fields[2] = b0;
            fields[3] = b1;
        }
    } else if (t.Type == KindByte) {
        fields[2] = b0;
        count = 3;
    } else if (t.Type == KindSwappedLong) {
        fields[2] = b2;
        fields[3] = b3;
        fields[4] = b0;
        fields[5] = b1;
        count = 6;
    } else if (t.Type == KindText) {
        fields[2] = b0;
        fields[3] = b1;
        fields[4] = b2;
        fields[5] = b3;
        count = 6;
    } else {
        fields[2] = b0;
        fields[3] = b1;
    }
    WriteCommand(s, FormatFieldBody(s.SendBuffer, sizeof s.SendBuffer, 'W', fields, count));
    s.QueuedListener = nullptr;
    return 1;
}

int SendSetText(CommsState& s, CommsListener* listener, const char* text, int length,
                TextSource source) {
    s.UploadMode = 0;
    s.RetryValue = 0;

    const CurrentTest t = ReadCurrentTest(s);
    // The text may alias one of the state's own buffers (a queued, retried or continued text).
    char sent[MaxSetText + 1];
    int sentLength = 0;
    // A queued text is fitted again: the current test may have changed while it waited.
    if (source == TextSource::Caller || source == TextSource::Queued) {
        const int given = static_cast<int>(strnlen(text, static_cast<size_t>(std::max(length, 0))));
        sentLength = std::clamp(std::min(t.NoBytes, given + 32), 0, MaxSetText);
        const int copied = std::min(given, sentLength);
        std::memcpy(sent, text, static_cast<size_t>(copied));
        std::memset(sent + copied, ' ', static_cast<size_t>(sentLength - copied));
    } else {
        sentLength = std::clamp(length, 0, MaxSetText);
        std::memcpy(sent, text, static_cast<size_t>(sentLength));
    }
    sent[sentLength] = '\0';
    s.RetryText.Assign(sent, sentLength);
    s.FrameCount = 0;

    if (s.BusyTicks != 0) {
        s.QueuedListener = listener;
        s.QueuedValue = 0;
        s.QueuedText.Assign(sent, sentLength);
        s.QueuedIsSet = 1;
        return 0;
    }
    s.BusyTicks = RequestTicks;
    s.Listener = listener;
    s.PendingKind = PendingSet;
    if (source == TextSource::Caller || source == TextSource::Queued)
        s.ContinuationText.Clear();
    if (t.Number < 0) {
        s.BusyTicks = 0;
        return 0;
    }
    if (t.Type != KindText) {
        s.QueuedListener = nullptr;
        return 1;
    }

    if (source == TextSource::Caller || source == TextSource::Queued)
        s.TextOffset = 0;
    else if (source == TextSource::Retry)
        s.TextOffset = s.RetryOffset;
    s.RetryOffset = s.TextOffset;

    const unsigned int number = static_cast<unsigned int>(t.Number);
    const unsigned int offset = static_cast<unsigned int>(s.TextOffset);
    if (t.InterfaceVersion >= 11) {
        WriteCommand(s, FormatTextWrite(s.SendBuffer, sizeof s.SendBuffer, number, offset, sent,
                                        sentLength));
    } else {
        // The old interface takes four characters per command; the rest follows on each
        // acknowledgement.
        s.ContinuationText.Assign(sent + std::min(sentLength, 4), sentLength - 4);
        uint8_t characters[4] = {' ', ' ', ' ', ' '};
        for (int i = 0; i < 4 && i < sentLength; ++i)
            characters[i] = static_cast<uint8_t>(sent[i]);
        const int n =
            FormatTextChunk(s.SendBuffer, sizeof s.SendBuffer, number, offset, characters);
        if (s.Port)
            s.Port->Write(reinterpret_cast<const uint8_t*>(s.SendBuffer), n);
        s.TextOffset = s.ContinuationText.Empty() ? 0 : s.TextOffset + 4;
    }
    s.QueuedListener = nullptr;
    return 1;
}
