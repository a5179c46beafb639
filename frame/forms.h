#pragma once
// The program's three windows. Each is one object for the life of the process; its window is
// made (and its Form_Load run) on first reference, as the forms refer to each other freely.
namespace orvik {
class Form1;
class Form2;
class Form3;
}  // namespace orvik

orvik::Form1& form1();
orvik::Form2& form2();
orvik::Form3& form3();
