// The least that the editor's figures are held against:
//   glisk-baseline            start curses, wait for a key, end (memory)
//   glisk-baseline question   print the first question, read the answer
//   glisk-baseline draw FILE  read a line, start curses, write the bytes of
//                             FILE in one write, wait for a key, end
#include <curses.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "question") == 0) {
        std::cout << "Hoe breed moet het level zijn? (max. 75) " << std::flush;
        int answer = 0;
        std::cin >> answer;
        return 0;
    }
    std::string bytes;
    if (argc > 2 && std::strcmp(argv[1], "draw") == 0) {
        std::ifstream file(argv[2], std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), {});
        std::string line;
        std::getline(std::cin, line);
    }
    initscr();
    cbreak();
    noecho();
    if (!bytes.empty() &&
        write(STDOUT_FILENO, bytes.data(), bytes.size()) < 0)
        return 1;
    getch();
    endwin();
    return 0;
}
