// Corrupt saved states found by fuzzing (tests/fuzz): each is refused whole and changes nothing.

#include <gtest/gtest.h>

#include "PluginProcessor.h"
#include "StateBlocks.h"

#include <cmath>
#include <string>
#include <vector>

namespace
{
std::string document (const std::string& spaceValue, const std::string& tail = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <PARAMS><PARAM id=\"SPACE\" value=\"" + spaceValue
           + "\"/><PARAM id=\"WASH\" value=\"12.0\"/>" + tail + "</PARAMS>";
}

juce::MemoryBlock saved (VellomireAudioProcessor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);
    return block;
}

// Restores the block into a processor whose parameters were moved, and tells whether the saved
// state afterwards differs from before.
bool restoringChangesAnything (const std::vector<char>& block)
{
    VellomireAudioProcessor processor;
    for (const char* id : { "SPACE", "FILTER", "GRAIN", "WASH" })
    {
        auto* parameter = processor.valueTreeState.getParameter (id);
        parameter->setValueNotifyingHost (parameter->convertTo0to1 (77.7f));
    }
    const auto before = saved (processor);
    processor.setStateInformation (block.data(), (int) block.size());
    return saved (processor) != before;
}
} // namespace

// A value that reads as NaN would pass the range limits and reach the audio thread, where it
// silences the plug-in until the state changes again.
TEST (RobustState, AValueThatIsNotANumberIsRefused)
{
    ASSERT_TRUE (restoringChangesAnything (stateBlock (document ("50.0")))) << "the document itself must be good";
    for (const char* value : { "nan", "NaN", "-nan", " nan" })
        EXPECT_FALSE (restoringChangesAnything (stateBlock (document (value)))) << value;
    // Infinite values are numbers: limited to the range like 150 or -20 are.
    EXPECT_TRUE (restoringChangesAnything (stateBlock (document ("inf"))));
}

// JUCE's number reader overflows an int on an exponent with ten or more significant digits
// (undefined behaviour, caught by the sanitizer build). Such a value is refused before anything
// reads it; ordinary exponents still load.
TEST (RobustState, AValueWithAnOverlongExponentIsRefused)
{
    for (const char* value : { "1e9999999999", "0000001e9990000000000000000", "5E-123456789012", "1e+000000000012345678901" })
        EXPECT_FALSE (restoringChangesAnything (stateBlock (document (value)))) << value;
    for (const char* value : { "5e1", "4.2e-05", "1e00000000000000001", "1e99999999" })
        EXPECT_TRUE (restoringChangesAnything (stateBlock (document (value)))) << value;
}

// JUCE parses a state's text as UTF-8 without checking it; a lead byte whose continuation bytes
// are missing made its XML parser read past the end of the text.
TEST (RobustState, TextThatIsNotWellFormedUtf8IsRefused)
{
    const std::string broken[] = {
        document ("50.0", "<X a=\"\xd0\"/>"),      // a two-byte lead followed by a quote
        document ("50.0", "</\xd0" "ARAMS>"),      // a lead byte eating into the end tag
        document ("50.0") + "\xe2\x82",            // three-byte lead, one continuation, then the end
        document ("50.0", "<X a=\"\xff\"/>"),      // never valid in UTF-8
        document ("50.0", "<X a=\"\x80\"/>"),      // a continuation byte with no lead
    };
    for (const auto& text : broken)
        EXPECT_FALSE (restoringChangesAnything (stateBlock (text))) << text;

    // Well-formed multi-byte text is fine.
    EXPECT_TRUE (restoringChangesAnything (stateBlock (document ("50.0", "<X a=\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x8e\xb5\"/>"))));
}

// JUCE's XML reader skips a processing instruction inside an element and then, finding text after
// it, steps back to the instruction and skips it again, for ever: a host loading such a project
// would hang. Only the declaration at the very start may be one.
TEST (RobustState, AProcessingInstructionInsideTheDocumentIsRefused)
{
    const std::string hanging[] = {
        document ("50.0", "<X><?pi?>text</X>"),
        document ("50.0", "<?pi?>text"),
        document ("50.0", "<X><?pi?></X>"),
    };
    for (const auto& text : hanging)
        EXPECT_FALSE (restoringChangesAnything (stateBlock (text))) << text;

    EXPECT_TRUE (restoringChangesAnything (stateBlock ("\n  " + document ("50.0")))) << "the declaration after leading space";
}

// JUCE reads an element that names an attribute twice (which XML forbids): the parameter took the
// first value while the saved state showed the second, so what was saved was not what played.
TEST (RobustState, AnAttributeGivenTwiceIsRefused)
{
    const std::string twice[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <PARAMS><PARAM id=\"SPACE\" value=\"150\" value=\"65\"/></PARAMS>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <PARAMS><PARAM id=\"SPACE\" id=\"WASH\" value=\"20\"/></PARAMS>",
    };
    for (const auto& text : twice)
        EXPECT_FALSE (restoringChangesAnything (stateBlock (text))) << text;
}

// JUCE's XML reader steps over the character after a broken hexadecimal character reference; at
// the end of the text that is the terminating zero, and it read on past the end.
TEST (RobustState, AHexCharacterReferenceCutOffIsRefused)
{
    const std::string cutOff = document ("50.0").substr (0, document ("50.0").find ("</PARAMS>")) + "&#x3";
    EXPECT_FALSE (restoringChangesAnything (stateBlock (cutOff))) << cutOff;
    EXPECT_FALSE (restoringChangesAnything (stateBlock (document ("50.0", "<X a=\"&#x41\"/>"))));
    EXPECT_TRUE (restoringChangesAnything (stateBlock (document ("50.0", "<X a=\"&#x41;&#65;\"/>"))));
}

// Only the references an XML writer puts into a saved state are taken; any other entity is
// refused before JUCE's reader sees it (one made it re-read text past the end).
TEST (RobustState, OnlyPlainReferencesAreTaken)
{
    const std::string refused[] = {
        document ("50.0", "&<X/>"),                          // a bare ampersand
        document ("50.0", "<X a=\"&copy;\"/>"),              // a named entity XML does not define
        document ("50.0", "<X a=\"&#;\"/>"),                 // a character number without digits
        document ("50.0", "<X a=\"&#123456789012;\"/>"),     // far beyond any character
        document ("50.0", "<X a=\"&#65\"/>"),                // decimal, not closed
        document ("50.0") + "&amp",                          // named, cut off by the end
    };
    for (const auto& text : refused)
        EXPECT_FALSE (restoringChangesAnything (stateBlock (text))) << text;

    EXPECT_TRUE (restoringChangesAnything (stateBlock (document ("50.0", "<X a=\"&amp;&lt;&gt;&quot;&apos;&#10;&#x1F3B5;\"/>"))));
}

// JUCE's XML reader goes one call deeper per nested element: 50000 levels (150 kB of text)
// overflowed the stack of a test's main thread, far fewer would a host's message thread.
TEST (RobustState, ADocumentTooDeepForTheReaderIsRefused)
{
    const auto nested = [] (int levels) {
        std::string body;
        for (int i = 0; i < levels; ++i)
            body += "<X>";
        for (int i = 0; i < levels; ++i)
            body += "</X>";
        return document ("50.0", body);
    };
    EXPECT_FALSE (restoringChangesAnything (stateBlock (nested (100000))));
    EXPECT_TRUE (restoringChangesAnything (stateBlock (nested (100)))) << "modest nesting is fine";
}

