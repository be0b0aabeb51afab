#include <gtest/gtest.h>

#include "PluginProcessor.h"
#include "StateBlocks.h"

namespace
{
const std::string freshStateText = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <PARAMS>"
                                   "<PARAM id=\"FILTER\" value=\"35.0\"/>"
                                   "<PARAM id=\"GRAIN\" value=\"25.0\"/>"
                                   "<PARAM id=\"SPACE\" value=\"65.0\"/>"
                                   "<PARAM id=\"WASH\" value=\"55.0\"/>"
                                   "</PARAMS>";

std::string document (const std::string& body, const std::string& root = "PARAMS")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <" + root + ">" + body + "</" + root + ">";
}

float value (VellomireAudioProcessor& p, const char* id) { return p.valueTreeState.getRawParameterValue (id)->load(); }

void set (VellomireAudioProcessor& p, const char* id, float v)
{
    auto* param = p.valueTreeState.getParameter (id);
    param->setValueNotifyingHost (param->convertTo0to1 (v));
}

struct Values
{
    float space, filter, grain, wash;
    bool operator== (const Values& o) const { return space == o.space && filter == o.filter && grain == o.grain && wash == o.wash; }
};

Values values (VellomireAudioProcessor& p) { return { value (p, "SPACE"), value (p, "FILTER"), value (p, "GRAIN"), value (p, "WASH") }; }

void moveAll (VellomireAudioProcessor& p)
{
    set (p, "SPACE", 11.0f);
    set (p, "FILTER", 22.0f);
    set (p, "GRAIN", 33.0f);
    set (p, "WASH", 44.0f);
}

void restore (VellomireAudioProcessor& p, const std::vector<char>& block)
{
    p.setStateInformation (block.data(), (int) block.size());
}

std::vector<juce::String> childIds (VellomireAudioProcessor& p)
{
    std::vector<juce::String> ids;
    for (const auto& child : p.valueTreeState.state)
        ids.push_back (child.getProperty ("id").toString());
    return ids;
}
} // namespace

TEST (State, AFreshInstanceSavesTheExactBytes)
{
    VellomireAudioProcessor p;
    juce::MemoryBlock saved;
    p.getStateInformation (saved);

    const auto expected = stateBlock (freshStateText);
    ASSERT_EQ (saved.getSize(), 9 + freshStateText.size());
    EXPECT_EQ (std::vector<char> ((const char*) saved.getData(), (const char*) saved.getData() + saved.getSize()), expected);
}

TEST (State, RoundTripsIntoAnotherInstance)
{
    VellomireAudioProcessor source, target;
    set (source, "SPACE", 12.3f);
    set (source, "WASH", 100.0f);
    juce::MemoryBlock saved;
    source.getStateInformation (saved);

    moveAll (target);
    target.setStateInformation (saved.getData(), (int) saved.getSize());
    EXPECT_EQ (values (target), values (source));

    VellomireAudioProcessor fresh;
    fresh.getStateInformation (saved);
    target.setStateInformation (saved.getData(), (int) saved.getSize());
    EXPECT_EQ (values (target), (Values { 65.0f, 35.0f, 25.0f, 55.0f }));
}

TEST (State, RootTagIsMatchedIgnoringCase)
{
    VellomireAudioProcessor p;
    moveAll (p);
    restore (p, stateBlock (document ("<PARAM id=\"SPACE\" value=\"70.0\"/>", "params")));
    EXPECT_EQ (value (p, "SPACE"), 70.0f);
}

TEST (State, InvalidBlocksChangeNothing)
{
    const auto valid = stateBlock (document ("<PARAM id=\"SPACE\" value=\"70.0\"/>"));
    auto wrongMagic = valid;
    wrongMagic[3] = '?';
    const std::pair<const char*, std::vector<char>> cases[] = {
        { "other root tag", stateBlock (document ("<PARAM id=\"SPACE\" value=\"70.0\"/>", "STATE")) },
        { "eight bytes", std::vector<char> (valid.begin(), valid.begin() + 8) },
        { "wrong magic", wrongMagic },
        { "zero length", stateBlock (document ("<PARAM id=\"SPACE\" value=\"70.0\"/>"), 0u) },
        { "negative length", stateBlock (document ("<PARAM id=\"SPACE\" value=\"70.0\"/>"), 0x80000000u) },
        { "not xml", stateBlock ("this is not a document") },
        { "truncated xml", stateBlock (document ("<PARAM id=\"SPACE\" value=\"70.0\"/>").substr (0, 60)) },
        { "empty text", stateBlock (std::string (1, '\0') + document ("<PARAM id=\"SPACE\" value=\"70.0\"/>")) },
    };
    for (const auto& [name, block] : cases)
    {
        VellomireAudioProcessor p;
        moveAll (p);
        const auto before = p.valueTreeState.state.toXmlString();
        restore (p, block);
        EXPECT_EQ (values (p), (Values { 11.0f, 22.0f, 33.0f, 44.0f })) << name;
        EXPECT_EQ (p.valueTreeState.state.toXmlString(), before) << name;
    }
    VellomireAudioProcessor p;
    p.setStateInformation (nullptr, 0);
    EXPECT_EQ (values (p), (Values { 65.0f, 35.0f, 25.0f, 55.0f }));
}

TEST (State, ValuesAreLimitedAndMissingValuesTakeTheDefault)
{
    struct Case
    {
        const char* child;
        float expectedSpace;
    };
    const Case cases[] = { { "<PARAM id=\"SPACE\" value=\"150\"/>", 100.0f },
                           { "<PARAM id=\"SPACE\" value=\"-20\"/>", 0.0f },
                           { "<PARAM id=\"SPACE\"/>", 65.0f },
                           { "<PARAM id=\"SPACE\" value=\"33.33\"/>", 33.3f } };
    for (const auto& c : cases)
    {
        VellomireAudioProcessor p;
        moveAll (p);
        restore (p, stateBlock (document (c.child)));
        EXPECT_FLOAT_EQ (value (p, "SPACE"), c.expectedSpace) << c.child;
    }
}

TEST (State, APartialDocumentKeepsTheOthersAndAppendsTheirChildren)
{
    VellomireAudioProcessor p;
    moveAll (p);
    restore (p, stateBlock (document ("<PARAM id=\"SPACE\" value=\"70.0\"/><PARAM id=\"UNKNOWN\" value=\"3\"/>")));
    EXPECT_EQ (values (p), (Values { 70.0f, 22.0f, 33.0f, 44.0f }));

    const auto ids = childIds (p);
    ASSERT_EQ (ids.size(), 5u);
    EXPECT_EQ (ids[0], "SPACE");
    EXPECT_EQ (ids[1], "UNKNOWN");
    EXPECT_EQ (std::set<juce::String> (ids.begin() + 2, ids.end()), (std::set<juce::String> { "FILTER", "GRAIN", "WASH" }));

    juce::MemoryBlock saved;
    p.getStateInformation (saved);
    const juce::String text ((const char*) saved.getData() + 8, saved.getSize() - 9);
    EXPECT_TRUE (text.contains ("<PARAMS><PARAM id=\"SPACE\" value=\"70.0\"/><PARAM id=\"UNKNOWN\" value=\"3\"/>")) << text;
}

TEST (State, ALengthFieldLongerThanTheDataUsesWhatIsThere)
{
    VellomireAudioProcessor p;
    moveAll (p);
    auto block = stateBlock (document ("<PARAM id=\"GRAIN\" value=\"80.0\"/>"), 100000u);
    block.pop_back(); // no closing zero either
    restore (p, block);
    EXPECT_EQ (value (p, "GRAIN"), 80.0f);
}
