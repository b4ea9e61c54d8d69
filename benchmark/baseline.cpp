// The least a full-screen ncursesw program takes: start curses, wait for a
// key, end. The benchmark compares the editor's memory with this.
#include <curses.h>

int main()
{
    initscr();
    cbreak();
    noecho();
    getch();
    endwin();
    return 0;
}
