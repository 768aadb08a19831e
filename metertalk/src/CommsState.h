#pragma once

#include "FixedText.h"

#include "linkselect/Link.h"
#include "metertalk/CommsEngine.h"
#include "metertalk/CommsListener.h"
#include "metertalk/UploadProgressView.h"

#include <cstdint>
#include <memory>

class CTestList;

// Longest text a text Set sends; the Write text line must stay inside SendBuffer.
constexpr int MaxSetText = 100;

enum PendingRequest : int { PendingAsk = 0, PendingSet = 1, PendingNone = 2 };

// Everything one engine knows: the link, the protocol state, the bulk
// upload and the progress display. The engine owns one; nothing else sees it.
struct CommsState {
    LinkPtr Port;
    uint8_t ReadBuffer[512] = {};
    int ReadCount = 0;
    int ReadPos = 0;
    CTestList* TestList = nullptr;
    int InFrame = 0;
    int FrameIndex = 0;
    int FrameLength = 0;
    uint8_t Frame[100] = {};
    char Reply[100] = {};
    char SendBuffer[200] = {};
    int BusyTicks = 0;
    // Set when OnArrival took bytes since the last OnTimer: that tick is not a silent one.
    int Heard = 0;
    int PendingKind = PendingAsk;
    // Set when the read under way was asked with CommsEngine::Refusal::Answers.
    int RefusalAnswers = 0;
    CommsListener* Listener = nullptr;
    CommsListener* QueuedListener = nullptr;
    int QueuedIsSet = 0;
    unsigned int QueuedValue = 0;
    FixedText<MaxSetText> QueuedText;
    int AskIndex = 0;
    int AskBase = 0;
    unsigned int RetryValue = 0;
    FixedText<MaxSetText> RetryText;
    // Offset of the text chunk that RetryText resends, so a refused chunk goes back where it was.
    int RetryOffset = 0;
    FixedText<MaxSetText> ContinuationText;
    int TextOffset = 0;
    int32_t NewValue = 0;
    char NewString[40] = {};
    int StringPos = 0;
    int StringRemaining = 0;
    int SensorStride = 0;
    int UploadMode = 0;
    int UploadStarted = 0;
    uint8_t UploadBuffer[CommsEngine::UploadCapacity] = {};
    int UploadLength = 0;
    // Set when a run brought more than UploadBuffer holds; the rest was dropped.
    int UploadOverflow = 0;
    int FrameCount = 0;
    int ExpectedFrames = 0;
    std::unique_ptr<UploadProgressView> ProgressDialog;

    CommsEngine::ProgressFactory MakeProgress;
    // Null: the library's module-wide prompt.
    UserPrompt* Prompt = nullptr;
};
