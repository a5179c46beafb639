#include "frame/forms.h"

#include "frame/form1.h"
#include "panel/form2.h"
#include "panel/form3.h"

orvik::Form1& form1() {
  static orvik::Form1 form;
  return form;
}

orvik::Form2& form2() {
  static orvik::Form2 form;
  return form;
}

orvik::Form3& form3() {
  static orvik::Form3 form;
  return form;
}
