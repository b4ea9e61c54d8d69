#include "answers.h"

#include <istream>
#include <limits>
#include <ostream>

std::optional<int> askNumber(std::istream& in, std::ostream& out,
                             const std::string& question)
{
    bool onFreshLine = true;
    for (;;) {
        if (!onFreshLine)
            out << '\n';
        out << question << std::flush;
        // An answer already waiting was typed before the question showed:
        // no line end of the user's follows the question then.
        const bool typedAhead = in.rdbuf()->in_avail() > 0;
        int answer = 0;
        in >> answer;
        if (in && answer >= 1)
            return answer;
        if (!in && in.eof())
            return std::nullopt;
        // On overflow the stream stores the largest int and fails.
        const bool tooLarge = !in && answer == std::numeric_limits<int>::max();
        in.clear();
        if (tooLarge)
            return answer;
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        if (in.eof())
            return std::nullopt;
        onFreshLine = !typedAhead;
    }
}
