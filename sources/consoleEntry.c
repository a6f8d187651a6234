/* The console program has no code of its own: its entry point is the main
   exported by libquorvel.so (module parseNetwork). */
extern int main(int argc, char** argv);
