// Kromi in a page: mix the target colour with three knobs.
#include "kromi/app/form1.h"
#include "kromi/web/cues.h"
#include "kromi/web/host.h"

int main() {
  using namespace kromi;
  // The game outlives main: from here on the page's events and timeout drive it.
  static TwisterSource random;
  static WebCues cues;  // opens once the first frame is on screen
  static Form1 form(random, cues);
  const FormView view = form.View();
  form.Form_Load();
  WebHost::Start(view);
  return 0;
}
