// calvorn-reghost32.exe / calvorn-reghost64.exe: the process in which a
// component's self-registration code runs, so that nothing the component does
// can take the program down.

int wmain() {
    return 2;
}
