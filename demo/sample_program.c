/* The program that the demo installs and updates: it prints its version and what its data
   folder holds, so a run before and after the update shows the difference. */
#include <stdio.h>

int main(void) {
  printf("Sample %s\n", SAMPLE_VERSION);
  FILE* levels = fopen("data\\levels.txt", "r");
  int count = 0;
  char line[256];
  while (levels && fgets(line, sizeof line, levels)) count++;
  if (levels) fclose(levels);
  printf("%d levels\n", count);
  return 0;
}
