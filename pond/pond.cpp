#include "pond/pond.h"

namespace reedmere {

namespace {

constexpr int kLastRow = kPondRows - 1;
constexpr int kLastCol = kPondCols - 1;
constexpr int kCatchKinds = 13;

constexpr const char* kCatchMessages[kCatchKinds] = {
    "You caught a sea cucumber! Your dad squeezes it slowly without once looking away from you\n",
    "You caught a boot. Your dad picks it up and raises it over his head!\n",
    "You caught a trout! Your dad guts it with his thumbnail and says that's how it's done\n",
    "You caught a dead body. You can tell it's your dad's handiwork. Uh oh\n",
    "You caught a rainbow fish! The floodwaters are rising. The water is up to your ankles\n",
    "You caught a goldfish with your pet goldfish's nametag from childhood. You hear your dad "
    "crack his belt\n",
    "A flying fish jumps into the boat! Your dad raises it near your windpipe with his cramming "
    "arm\n",
    "You caught a fish resembling Colonel Mossgrove! Your dad raises the point of his Drummelo "
    "Pryle '84 pin above his head\n",
    "You caught an anchor. Before you even realize what's happened, you can feel your dad tie a "
    "rope around your ankle\n",
    "You caught an angler! Your dad perceives the light as a message fromm God and sacrifices "
    "you without a second thought\n",
    "You caught a clone of your dad! Your dad takes the opportunity to watch himself beat you "
    "from the 3rd person\n",
    "The fish pulls too hard and you fall into the water. Your dad's dead eyes look on as you "
    "scream for help\n",
    "You snag the line on a log, and your dad starts sawing off a piece just your size\n",
};

constexpr const char* kGameOver =
    "You really screwed up this time! Your dad's hands wrap around your neck as your vision "
    "fades to black...\nThanks for playing!\n";

// One step of a fish; at an edge it turns back instead of leaving the pond.
void step(Fish& fish) {
    switch (fish.direction) {
        case 0: fish.row = fish.row == kLastRow ? kLastRow - 1 : fish.row + 1; break;
        case 1: fish.row = fish.row == 0 ? 1 : fish.row - 1; break;
        case 2: fish.col = fish.col == kLastCol ? kLastCol - 1 : fish.col + 1; break;
        case 3: fish.col = fish.col == 0 ? 1 : fish.col - 1; break;
        default: break;
    }
}

// The next random number reduced to 0 to n - 1.
int draw_mod(int n) { return next_random() % n; }

bool lies_at(const Fish& fish, int row, int col) { return fish.row == row && fish.col == col; }

}  // namespace

void init_board(Board& board, int rows, int cols) {
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) board[i][j].occupied = 0;
    }
}

int spawn_fish(Board& board, Fish& fish) {
    const int row = draw_mod(kPondRows);
    const int col = draw_mod(kPondCols);
    if (board[row][col].occupied != 0) return 0;
    board[row][col].occupied = 1;
    fish.direction = 0;
    fish.type = draw_mod(kCatchKinds);
    fish.row = row;
    fish.col = col;
    fish.speed = 1;
    fish.wait = 1;
    return 1;
}

void move_fish(Board& board, Fish& fish) {
    if (fish.wait != 0) {
        --fish.wait;
        return;
    }
    board[fish.row][fish.col].occupied = 0;
    step(fish);
    fish.direction = draw_mod(4);
    fish.speed = 200 + draw_mod(4);
    fish.wait = 50 / fish.speed;
    board[fish.row][fish.col].occupied = 1;
}

void resolve_cast(const Board& board, Fish fish1, Fish fish2, Fish fish3, int row, int col, std::FILE* out) {
    if (board[row][col].occupied == 1) {
        report_catch(row, col, fish1, fish2, fish3, out);
    } else {
        std::fputs(kGameOver, out);
    }
}

void report_catch(int row, int col, Fish fish1, Fish fish2, Fish fish3, std::FILE* out) {
    int fishtype = -1;
    if (lies_at(fish1, row, col)) {
        fishtype = fish1.type;
    } else if (lies_at(fish2, row, col)) {
        fishtype = fish2.type;
    } else if (lies_at(fish3, row, col)) {
        fishtype = fish3.type;
    }
    if (fishtype >= 0 && fishtype < kCatchKinds) std::fputs(kCatchMessages[fishtype], out);
}

}  // namespace reedmere
