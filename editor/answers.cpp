#include "answers.h"

#include <istream>
#include <limits>
#include <ostream>
#include <utility>

std::optional<int> askNumber(std::istream& in, std::ostream& out,
                             const std::string& question,
                             bool& answerTypedAhead)
{
    for (;;) {
        out << question << std::flush;
        const bool typedAhead = std::exchange(answerTypedAhead, false);
        int answer = 0;
        in >> answer;
        // On overflow the stream stores the largest int and fails.
        const bool tooLarge = !in && !in.eof() &&
                              answer == std::numeric_limits<int>::max();
        if ((in && answer >= 1) || tooLarge) {
            in.clear(in.rdstate() & std::ios::eofbit);
            // The character that ended the number is at hand: anything but
            // the line end is the start of the next answer, typed already.
            answerTypedAhead = in && in.peek() != '\n' && !in.eof();
            return answer;
        }
        if (!in && in.eof())
            return std::nullopt;
        in.clear();
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        if (in.eof())
            return std::nullopt;
        // An answer typed before the question showed ended no line of the
        // user's after it: the question asked again starts its own.
        if (typedAhead)
            out << '\n';
    }
}
