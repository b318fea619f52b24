#include "runs/TerminalConfirm.h"

#include <cctype>

#include "config/TextConv.h"
#include "runs/RunWindow.h"

int AskOnTerminal(const std::u16string& question, std::FILE* in, std::FILE* out,
                  const std::u16string& answers) {
    // The question holds a file name: printable, so that it cannot move the cursor,
    // clear the screen or fake the prompt with escape sequences of its own.
    const std::string text = Utf8FromWide(PrintableText(question));
    const std::string choices = Utf8FromWide(answers.empty() ? kTerminalAnswers : answers);
    for (;;) {
        std::fprintf(out, "%s %s: ", text.c_str(), choices.c_str());
        std::fflush(out);
        std::string line;
        int c;
        while ((c = std::fgetc(in)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
        if (line.empty() && c == EOF) {
            std::fputc('\n', out);
            return kAnswerCancel;
        }
        size_t first = line.find_first_not_of(" \t\r");
        char answer =
            first == std::string::npos
                ? '\0'
                : static_cast<char>(std::tolower(static_cast<unsigned char>(line[first])));
        switch (answer) {
            case 'y':
                return kAnswerYes;
            case 'a':
                return kAnswerYesToAll;
            case 'n':
                return kAnswerNo;
            case 'c':
                return kAnswerCancel;
            default:
                break;  // ask again
        }
    }
}
