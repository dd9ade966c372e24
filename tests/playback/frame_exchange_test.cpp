// The frames between the video task and the window thread: pictures that come while the window
// is busy wait and are painted in order; only beyond the frames that can wait is the oldest
// given up, and the frame being painted is never written.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "playback/frame_exchange.h"

namespace {

struct Picture
{
    int number = 0;
};

class Exchange
{
public:
    // Four frames: two can wait.
    Exchange()
    {
        std::vector<std::shared_ptr<Picture>> frames(4);
        for (auto &f : frames)
            f = std::make_shared<Picture>();
        m_Frames.Reset(std::move(frames));
    }

    // Writes the next picture and publishes it; "kept" or "gave up".
    std::string Publish()
    {
        m_Frames.Back()->number = ++m_nWritten;
        return m_Frames.Publish() ? "kept" : "gave up";
    }

    // "N" (the number of the picture now in front, fresh) or "N again"; "none" before any.
    std::string Paint()
    {
        bool fresh = false;
        m_pFront = m_Frames.Next(&fresh);
        if (!m_pFront)
            return "none";
        return std::to_string(m_pFront->number) + (fresh ? "" : " again");
    }

    bool Waiting() { return m_Frames.Waiting(); }
    const Picture *Front() const { return m_pFront.get(); }

private:
    FrameExchange<Picture> m_Frames;
    std::shared_ptr<Picture> m_pFront;
    int m_nWritten = 0;
};

TEST(FrameExchange, PicturesThatComeWhileTheWindowIsBusyArePaintedInOrder)
{
    // 'p' publishes, 'n' paints; the outcomes of each step, space separated.
    struct Case
    {
        const char *name, *steps;
        std::vector<std::string> outcomes;
    };
    const Case cases[] = {
        {"nothing yet", "n", {"none"}},
        {"one at a time", "pnnpn", {"kept", "1", "1 again", "kept", "2"}},
        {"two in one busy spell", "ppnnn", {"kept", "kept", "1", "2", "2 again"}},
        {"three: the oldest is given up", "pppnn", {"kept", "kept", "gave up", "2", "3"}},
        {"after a paint two can wait again",
         "pnpppnn",
         {"kept", "1", "kept", "kept", "gave up", "3", "4"}},
    };
    for (const Case &c : cases) {
        Exchange exchange;
        std::vector<std::string> outcomes;
        for (const char *s = c.steps; *s; ++s)
            outcomes.push_back(*s == 'p' ? exchange.Publish() : exchange.Paint());
        EXPECT_EQ(outcomes, c.outcomes) << c.name;
        EXPECT_FALSE(exchange.Waiting()) << c.name;
    }
}

TEST(FrameExchange, TheFrameBeingPaintedIsNotWrittenAndWaitingTellsToPaintAgain)
{
    Exchange exchange;
    exchange.Publish();
    exchange.Publish();
    EXPECT_TRUE(exchange.Waiting());
    ASSERT_EQ(exchange.Paint(), "1");
    EXPECT_TRUE(exchange.Waiting()) << "picture 2 still waits";
    for (int i = 0; i < 5; ++i)
        exchange.Publish(); // the writer keeps going while the window paints picture 1
    EXPECT_EQ(exchange.Front()->number, 1);
    EXPECT_EQ(exchange.Paint(), "6");
    EXPECT_EQ(exchange.Paint(), "7");
    EXPECT_FALSE(exchange.Waiting());
}

TEST(FrameExchange, ResetWithoutFramesHasNothingToPaint)
{
    FrameExchange<Picture> frames;
    frames.Reset({});
    EXPECT_EQ(frames.Back(), nullptr);
    EXPECT_EQ(frames.Next(), nullptr);
    EXPECT_FALSE(frames.Waiting());
}

} // namespace
