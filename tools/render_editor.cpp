// Renders the editor of a freshly made VELLOMIRE instance into a PNG, without a display.
//
//   vellomire-render-editor <output.png>

#include "PluginProcessor.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>
#include <memory>

namespace
{
bool writePng (const juce::Image& image, const juce::File& file)
{
    // FileOutputStream appends to an existing file; start from an empty one.
    if (file.exists() && ! file.deleteFile())
        return false;

    juce::FileOutputStream stream (file);
    if (! stream.openedOk())
        return false;

    juce::PNGImageFormat png;
    return png.writeImageToStream (image, stream);
}
} // namespace

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::cerr << "usage: vellomire-render-editor <output.png>\n";
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI gui;
    const auto output = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String::fromUTF8 (argv[1]));

    VellomireAudioProcessor processor;
    const std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditorIfNeeded());
    const auto image = editor->createComponentSnapshot (editor->getLocalBounds());

    if (! writePng (image, output))
    {
        std::cerr << "vellomire-render-editor: cannot write " << output.getFullPathName() << "\n";
        return 1;
    }

    std::cout << output.getFullPathName() << " (" << image.getWidth() << " x " << image.getHeight() << ")\n";
    return 0;
}
