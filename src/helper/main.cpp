// vantor-net-helper: opens the privileged sockets and changes the neighbour entries and host
// routes the program asks for, over the socketpair it is started with (descriptor 3).
int main() {
    return 1;
}
