/* A small Windows program for the translation exchange tests, built twice: the second release
   (NEW_RELEASE) adds code and texts before the old ones, so shared texts move. */
#include <stdio.h>

#ifdef NEW_RELEASE
const char *added[] = {"Check for updates now", "Your copy is up to date", "Hello, world"};
int Added(int i) { return printf("%s %d\n", added[i % 3], i * 7 + 3); }
#endif

char greeting[] = "Hello, world";
char greetingAgain[] = "Hello, world";
const char *messages[] = {
    "Open the file", "Save your changes?", "Cannot read the configuration file",
    "Path: C:\\Program Files\\Tool", "Tab\there and a \"quote\"", "Line one\nLine two",
    "Chinese: \xc4\xe3\xba\xc3 world",
};

int main(int argc, char **argv) {
#ifdef NEW_RELEASE
  Added(argc);
#endif
  (void)argv;
  puts(greeting);
  puts(greetingAgain);
  for (int i = 0; i < 7; ++i) puts(messages[(i + argc) % 7]);
  return 0;
}
