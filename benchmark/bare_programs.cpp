// The least the editor's start and full draw are held against:
//   glisk-bare question   print the first question, read the answer
//   glisk-bare draw FILE  read a line, start curses, write the bytes of
//                         FILE in one write, wait for a key, end
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
    if (argc < 3 || std::strcmp(argv[1], "draw") != 0)
        return 2;
    std::ifstream file(argv[2], std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(file), {});
    std::string line;
    std::getline(std::cin, line);
    initscr();
    cbreak();
    noecho();
    // The key is read without curses, whose first refresh would clear the
    // screen just written.
    char key = 0;
    if (write(STDOUT_FILENO, bytes.data(), bytes.size()) < 0 ||
        read(STDIN_FILENO, &key, 1) < 0)
        return 1;
    endwin();
    return 0;
}
