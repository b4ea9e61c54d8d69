#include "answers.h"

#include <istream>
#include <limits>
#include <ostream>

std::optional<int> askNumber(std::istream& in, std::ostream& out,
                             const std::string& question)
{
    for (;;) {
        out << question << std::flush;
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
    }
}
